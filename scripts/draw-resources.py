#!/usr/bin/env python3
"""Draws the icons and bitmaps of tanufold from code and writes them under resources/.

Icons: 100 (the archive file: a sheet tied up with a strap and buckle), 121 (a file with a question
mark: which file is kept?), 123 (a folder with a warning mark:
the name is taken by a folder), 125 (a file with a warning mark: the name is taken by a file).
Bitmaps: 111 and 112, the examples of the two window modes on the folder option page.

Run from anywhere: scripts/draw-resources.py. Needs only the Python standard library.
"""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources')

CLEAR = None
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
GREY = (128, 128, 128)
LIGHT = (192, 192, 192)
PAPER = (250, 250, 244)
FOLDER = (240, 200, 64)
FOLDER_DARK = (176, 136, 24)
BLUE = (0, 64, 192)
RED = (208, 32, 32)
YELLOW = (255, 224, 0)
TEAL = (0, 128, 128)
NAVY = (0, 0, 128)
STRAP = (160, 48, 32)
STRAP_DARK = (96, 24, 16)
BRASS = (232, 184, 40)


class Canvas:
    def __init__(self, w, h, fill=CLEAR):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):  # inclusive corners, filled
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.put(x, y0, c)
            self.put(x, y1, c)
        for y in range(y0, y1 + 1):
            self.put(x0, y, c)
            self.put(x1, y, c)

    def glyph(self, x0, y0, rows, c, scale=1):
        for j, row in enumerate(rows):
            for i, ch in enumerate(row):
                if ch == '#':
                    self.rect(x0 + i * scale, y0 + j * scale,
                              x0 + i * scale + scale - 1, y0 + j * scale + scale - 1, c)


QUESTION = [
    '.###.',
    '#...#',
    '....#',
    '...#.',
    '..#..',
    '..#..',
    '.....',
    '..#..',
]
BANG = [
    '#',
    '#',
    '#',
    '#',
    '#',
    '.',
    '#',
]


def page(c, s):
    """A sheet of paper with a folded corner, scaled to an s x s icon."""
    k = s // 16
    x0, y0, x1, y1 = 3 * k, 1 * k, 12 * k, 14 * k
    fold = 3 * k
    c.rect(x0, y0, x1, y1, PAPER)
    for i in range(fold):  # cut the corner away
        for j in range(fold - i):
            c.put(x1 - j, y0 + i, CLEAR)
    c.frame(x0, y0, x1, y1, BLACK)
    for i in range(fold + 1):
        c.put(x1 - fold + i, y0 + i, BLACK)
        c.put(x1 - fold, y0 + i, BLACK)
        c.put(x1 - fold + i, y0 + fold, BLACK)
    # writing lines
    if s >= 32:
        for ly in range(y0 + 6 * k, y1 - 2 * k, 2 * k):
            c.rect(x0 + 2 * k, ly, x1 - 2 * k, ly, LIGHT)


def folder(c, s):
    k = s // 16
    c.rect(1 * k, 3 * k, 6 * k, 4 * k, FOLDER)           # tab
    c.frame(1 * k, 3 * k, 6 * k, 5 * k, FOLDER_DARK)
    c.rect(1 * k, 5 * k, 14 * k, 13 * k, FOLDER)
    c.frame(1 * k, 5 * k, 14 * k, 13 * k, FOLDER_DARK)
    c.rect(1 * k + 1, 5 * k + 1, 14 * k - 1, 5 * k + 1, (255, 232, 128))


def badge(c, s, mark, colour):
    """A round badge in the lower right corner carrying a glyph."""
    k = s // 16
    cx, cy, r = 11 * k, 11 * k, 4.5 * k
    for y in range(s):
        for x in range(s):
            d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
            if d <= r:
                c.put(x, y, colour if d <= r - max(1, k // 2) else BLACK)
    rows = mark
    w, h = len(rows[0]), len(rows)
    scale = 1 if s < 32 else 1
    c.glyph(int(cx - w * scale / 2 + 0.5), int(cy - h * scale / 2 + 0.5), rows, WHITE, scale)


LZH = [
    '#...###.#.#',
    '#.....#.#.#',
    '#....#..###',
    '#...#...#.#',
    '###.###.#.#',
]


def archive_file(s):
    """The archive file: a sheet of paper held by a strap with a brass buckle."""
    c = Canvas(s, s)
    page(c, s)
    k = s // 16
    y0, y1 = 8 * k, 10 * k
    c.rect(2 * k, y0, 13 * k, y1, STRAP)
    c.rect(2 * k, y0, 13 * k, y0, STRAP_DARK)
    c.rect(2 * k, y1, 13 * k, y1, STRAP_DARK)
    bx0, bx1 = 7 * k - k // 2, 9 * k - k // 2
    c.rect(bx0, y0 - k // 2, bx1, y1 + k // 2, BRASS)
    c.frame(bx0, y0 - k // 2, bx1, y1 + k // 2, BLACK)
    c.rect(bx0 + k // 2, y0 + k // 2, bx1 - k // 2, y1 - k // 2, STRAP)
    if s >= 32:
        c.glyph(3 * k + 1, 3 * k + 1, LZH, NAVY)
    return c


def question_file(s):
    c = Canvas(s, s)
    page(c, s)
    badge(c, s, QUESTION if s >= 32 else ['###', '..#', '.#.', '...', '.#.'], BLUE)
    return c


def folder_taken(s):
    c = Canvas(s, s)
    folder(c, s)
    badge(c, s, BANG if s >= 32 else ['#', '#', '.', '#'], RED)
    return c


def file_taken(s):
    c = Canvas(s, s)
    page(c, s)
    badge(c, s, BANG if s >= 32 else ['#', '#', '.', '#'], RED)
    return c


def dib(c, with_mask):
    """Bottom-up 32-bit BGRA pixels (+ AND mask for icons) of a canvas."""
    rows = []
    for y in range(c.h - 1, -1, -1):
        for x in range(c.w):
            p = c.px[y][x]
            rows.append(struct.pack('<4B', 0, 0, 0, 0) if p is None else
                        struct.pack('<4B', p[2], p[1], p[0], 255))
    data = b''.join(rows)
    if with_mask:
        stride = ((c.w + 31) // 32) * 4
        for y in range(c.h - 1, -1, -1):
            bits = bytearray(stride)
            for x in range(c.w):
                if c.px[y][x] is None:
                    bits[x // 8] |= 0x80 >> (x % 8)
            data += bytes(bits)
    return data


def write_icon(path, canvases):
    images = []
    for c in canvases:
        header = struct.pack('<IiiHHIIiiII', 40, c.w, c.h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        images.append(header + dib(c, True))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, img in zip(canvases, images):
        out += struct.pack('<BBBBHHII', c.w % 256, c.h % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)


def write_bitmap(path, c):
    """24-bit bottom-up BMP."""
    stride = (c.w * 3 + 3) & ~3
    pixels = b''
    for y in range(c.h - 1, -1, -1):
        row = b''.join(struct.pack('<3B', p[2], p[1], p[0]) for p in c.px[y])
        pixels += row + b'\0' * (stride - len(row))
    info = struct.pack('<IiiHHIIiiII', 40, c.w, c.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(head + info + pixels)


def small_window(c, x, y, w, h, active, content):
    """A miniature window: frame, title bar, and a few icons of folder content."""
    c.rect(x, y, x + w, y + h, LIGHT)
    c.frame(x, y, x + w, y + h, BLACK)
    c.rect(x + 1, y + 1, x + w - 1, y + 4, NAVY if active else GREY)
    c.rect(x + 1, y + 5, x + w - 1, y + h - 1, WHITE)
    for i in range(content):
        ix = x + 4 + (i % 3) * 9
        iy = y + 8 + (i // 3) * 9
        if ix + 5 < x + w and iy + 4 < y + h:
            c.rect(ix, iy, ix + 5, iy + 4, FOLDER)
            c.frame(ix, iy, ix + 5, iy + 4, FOLDER_DARK)


def arrow(c, x, y, length):
    c.rect(x, y, x + length, y + 1, BLACK)
    for i in range(4):
        c.rect(x + length - i, y - i, x + length - i, y + 1 + i, BLACK)


def new_window_example():
    c = Canvas(96, 40, TEAL)
    small_window(c, 3, 4, 34, 28, False, 4)
    arrow(c, 40, 18, 12)
    small_window(c, 56, 2, 34, 26, False, 2)
    small_window(c, 60, 10, 34, 27, True, 3)
    return c


def same_window_example():
    c = Canvas(96, 40, TEAL)
    small_window(c, 3, 4, 34, 28, True, 4)
    arrow(c, 40, 18, 12)
    small_window(c, 58, 4, 34, 28, True, 2)
    return c


def main():
    icons = os.path.join(ROOT, 'icons')
    bitmaps = os.path.join(ROOT, 'bitmaps')
    os.makedirs(icons, exist_ok=True)
    os.makedirs(bitmaps, exist_ok=True)
    write_icon(os.path.join(icons, 'archive.ico'), [archive_file(32), archive_file(16)])
    write_icon(os.path.join(icons, 'question_file.ico'), [question_file(32), question_file(16)])
    write_icon(os.path.join(icons, 'folder_taken.ico'), [folder_taken(32), folder_taken(16)])
    write_icon(os.path.join(icons, 'file_taken.ico'), [file_taken(32), file_taken(16)])
    write_bitmap(os.path.join(bitmaps, 'new_window.bmp'), new_window_example())
    write_bitmap(os.path.join(bitmaps, 'same_window.bmp'), same_window_example())


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""Draws the resources of the adding-files dialogs and writes them under resources/.

Animation 127: the looping clip of the progress dialog (dialog 128) - sheets of paper flying from
an open folder into an archive box, as an uncompressed 8-bit AVI that the Animate control plays
without a codec.
Icon 120: a stack of sheets, the icon of a selection of several members.

Run from anywhere: scripts/draw-progress-resources.py. Needs only the Python standard library; the
canvas and the icon writer are those of draw-resources.py.
"""
import importlib.util
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location('draw', os.path.join(HERE, 'draw-resources.py'))
draw = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(draw)

WIDTH, HEIGHT, FRAMES = 160, 40, 12
BACKGROUND = (192, 192, 192)  # the dialog face; the control draws the clip as it is
BOX = (150, 96, 48)
BOX_DARK = (96, 56, 24)


def frame(n):
    c = draw.Canvas(WIDTH, HEIGHT, BACKGROUND)
    # the source folder on the left
    c.rect(6, 12, 16, 14, draw.FOLDER)
    c.rect(6, 14, 34, 34, draw.FOLDER)
    c.frame(6, 14, 34, 34, draw.FOLDER_DARK)
    # the archive box on the right, with a band
    c.rect(124, 14, 152, 34, BOX)
    c.frame(124, 14, 152, 34, BOX_DARK)
    c.rect(124, 21, 152, 24, draw.NAVY)
    # one sheet on its way: an arc from the folder to the box
    t = n / (FRAMES - 1)
    x = int(26 + t * (126 - 26))
    y = int(20 - 16 * 4 * t * (1 - t))
    c.rect(x, y, x + 9, y + 12, draw.PAPER)
    c.frame(x, y, x + 9, y + 12, draw.BLACK)
    for ly in range(y + 3, y + 11, 2):
        c.rect(x + 2, ly, x + 7, ly, draw.GREY)
    return c


def palette_of(frames):
    colours = []
    for c in frames:
        for row in c.px:
            for p in row:
                if p not in colours:
                    colours.append(p)
    assert len(colours) <= 256
    return colours


def frame_bytes(c, index):
    stride = (c.w + 3) & ~3
    out = bytearray()
    for y in range(c.h - 1, -1, -1):  # bottom-up rows
        row = bytes(index[p] for p in c.px[y])
        out += row + bytes(stride - c.w)
    return bytes(out)


def chunk(fourcc, data):
    pad = b'\0' if len(data) % 2 else b''
    return fourcc + struct.pack('<I', len(data)) + data + pad


def lst(kind, data):
    return chunk(b'LIST', kind + data)


def write_avi(path):
    frames = [frame(n) for n in range(FRAMES)]
    colours = palette_of(frames)
    index = {p: i for i, p in enumerate(colours)}
    images = [frame_bytes(c, index) for c in frames]
    size = len(images[0])
    usec = 100000  # 10 frames a second
    avih = struct.pack('<14I', usec, size * 10, 0, 0x10, FRAMES, 0, 1, size, WIDTH, HEIGHT,
                       0, 0, 0, 0)
    strh = (b'vids' + b'\0\0\0\0' + struct.pack('<IHHI', 0, 0, 0, 0) +
            struct.pack('<IIIIIIII', 0, 1, 10, 0, FRAMES, size, 0xFFFFFFFF, 0) +
            struct.pack('<4h', 0, 0, WIDTH, HEIGHT))
    bih = struct.pack('<IiiHHIIiiII', 40, WIDTH, HEIGHT, 1, 8, 0, size, 0, 0, len(colours),
                      len(colours))
    pal = b''.join(struct.pack('<4B', p[2], p[1], p[0], 0) for p in colours)
    hdrl = lst(b'hdrl', chunk(b'avih', avih) +
               lst(b'strl', chunk(b'strh', strh) + chunk(b'strf', bih + pal)))
    movi_data = b''
    idx = b''
    offset = 4
    for img in images:
        idx += b'00db' + struct.pack('<III', 0x10, offset, len(img))
        c = chunk(b'00db', img)
        movi_data += c
        offset += len(c)
    movi = lst(b'movi', movi_data)
    body = b'AVI ' + hdrl + movi + chunk(b'idx1', idx)
    with open(path, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', len(body)) + body)


def many_items(s):
    c = draw.Canvas(s, s)
    k = s // 16
    for i, shift in enumerate((3, 1, -1)):
        x0, y0 = (3 + shift) * k, (1 + 3 - shift) * k - k
        x1, y1 = x0 + 9 * k, y0 + 11 * k
        c.rect(x0, y0, x1, y1, draw.PAPER)
        c.frame(x0, y0, x1, y1, draw.BLACK)
        if i == 2 and s >= 32:
            for ly in range(y0 + 3 * k, y1 - k, 2 * k):
                c.rect(x0 + 2 * k, ly, x1 - 2 * k, ly, draw.LIGHT)
    return c


def main():
    root = draw.ROOT
    os.makedirs(os.path.join(root, 'animations'), exist_ok=True)
    write_avi(os.path.join(root, 'animations', 'compress.avi'))
    draw.write_icon(os.path.join(root, 'icons', 'many_items.ico'), [many_items(32), many_items(16)])


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""Draws the archive view's folder icons and writes them under resources/icons/.

Icon 101: a closed folder (the tab and back wall behind a front flap), shown for a folder inside
an archive. Icon 102: the same folder open (a sheet of paper standing in it and the front flap
tilted open), shown for a folder inside an archive in its open state.

Uses the canvas and icon writer of draw-resources.py. Run from anywhere:
scripts/draw-view-icons.py. Needs only the Python standard library.
"""
import importlib.util
import os

HERE = os.path.dirname(os.path.abspath(__file__))
loader_info = importlib.util.spec_from_file_location('draw_resources',
                                              os.path.join(HERE, 'draw-resources.py'))
draw = importlib.util.module_from_spec(loader_info)
loader_info.loader.exec_module(draw)

FLAP = (255, 224, 112)
EDGE = (255, 244, 192)


def closed_folder(s):
    c = draw.Canvas(s, s)
    k = s // 16
    # The tab, then the back wall showing a strip above the front flap.
    c.rect(1 * k, 2 * k, 6 * k, 3 * k, draw.FOLDER_DARK)
    c.rect(1 * k, 3 * k, 15 * k - 1, 13 * k, draw.FOLDER_DARK)
    c.frame(1 * k, 3 * k, 15 * k - 1, 13 * k, draw.BLACK)
    # The front flap over the lower part, with a lit upper edge.
    c.rect(1 * k, 5 * k, 15 * k - 1, 13 * k, FLAP)
    c.frame(1 * k, 5 * k, 15 * k - 1, 13 * k, draw.BLACK)
    c.rect(1 * k + 1, 5 * k + 1, 15 * k - 2, 5 * k + max(1, k // 2), EDGE)
    return c


def open_folder(s):
    c = draw.Canvas(s, s)
    k = s // 16
    # Back wall with its tab.
    c.rect(1 * k, 2 * k, 6 * k, 3 * k, draw.FOLDER_DARK)
    c.rect(1 * k, 3 * k, 13 * k, 13 * k, draw.FOLDER_DARK)
    c.frame(1 * k, 3 * k, 13 * k, 13 * k, draw.BLACK)
    # A sheet standing inside.
    c.rect(3 * k, 4 * k, 11 * k, 10 * k, draw.PAPER)
    c.frame(3 * k, 4 * k, 11 * k, 10 * k, draw.GREY)
    # The front flap, slanted: each row is shifted right as it goes up.
    top, bottom = 7 * k, 13 * k
    for y in range(top, bottom + 1):
        shift = (bottom - y) * 3 // 4
        x0, x1 = 1 * k + shift + (bottom - top) // 3, 15 * k - 1 - (bottom - y) // 4
        x0 = min(x0, x1)
        c.rect(x0, y, x1, y, FLAP)
        c.put(x0, y, draw.BLACK)
        c.put(x1, y, draw.BLACK)
    shift = (bottom - top) * 3 // 4 + (bottom - top) // 3
    c.rect(1 * k + shift, top, 15 * k - 1 - (bottom - top) // 4, top, draw.BLACK)
    c.rect(1 * k + (bottom - top) // 3, bottom, 15 * k - 1, bottom, draw.BLACK)
    return c


def main():
    icons = os.path.join(HERE, '..', 'resources', 'icons')
    os.makedirs(icons, exist_ok=True)
    draw.write_icon(os.path.join(icons, 'folder.ico'), [closed_folder(32), closed_folder(16)])
    draw.write_icon(os.path.join(icons, 'folder_open.ico'), [open_folder(32), open_folder(16)])


if __name__ == '__main__':
    main()

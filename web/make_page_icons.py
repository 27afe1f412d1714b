#!/usr/bin/env python3
"""Draws the page's app icons: the program's picture (resources/make_icon.py) on a square of the page's
background colour, as PNG files of the sizes an installed page shows.

Usage: make_page_icons.py OUTPUT_FOLDER SIZE...   (writes icon-SIZE.png for each size)
"""
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources'))
from make_icon import draw  # noqa: E402  (the program's icon, drawn at any size)

BACKGROUND = (246, 246, 248)


def icon(size):
    """Rows of RGB pixels: the picture at three quarters of the size, centred on the background."""
    inner = size * 3 // 4
    margin = (size - inner) // 2
    picture = draw(inner)
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            r, g, b = BACKGROUND
            if margin <= y < margin + inner and margin <= x < margin + inner:
                pr, pg, pb, pa = picture[y - margin][x - margin]
                if pa:
                    r, g, b = pr, pg, pb
            row += bytes((r, g, b))
        rows.append(bytes(row))
    return rows


def png(rows):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    size = len(rows)
    header = struct.pack('>IIBBBBB', size, size, 8, 2, 0, 0, 0)  # 8-bit RGB, no interlace
    data = zlib.compress(b''.join(b'\0' + row for row in rows), 9)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', data) + chunk(b'IEND', b'')


def main():
    folder = sys.argv[1]
    for size in map(int, sys.argv[2:]):
        with open(os.path.join(folder, 'icon-%d.png' % size), 'wb') as handle:
            handle.write(png(icon(size)))


if __name__ == '__main__':
    main()

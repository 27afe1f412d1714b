#!/usr/bin/env python3
"""Draws the page's app icons: the program's picture (resources/make_icon.py) on a square of the page's
background colour, as PNG files of the sizes an installed page shows.

Usage: make_page_icons.py OUTPUT_FOLDER ICON...   (ICON is SIZE or maskable-SIZE; writes icon-ICON.png)

A maskable icon is one a phone cuts into its own shape (a circle, a rounded square): the background fills it to
the edges and the picture stays inside the middle circle of four fifths of the size, which every shape keeps.
"""
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources'))
from make_icon import draw  # noqa: E402  (the program's icon, drawn at any size)

BACKGROUND = (246, 246, 248)


def icon(size, share=(3, 4)):
    """Rows of RGB pixels: the picture at `share` of the size, centred on the background."""
    inner = size * share[0] // share[1]
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
    # The page's folder may not be there yet: the core is linked elsewhere, and a parallel build makes the icons
    # first.
    os.makedirs(folder, exist_ok=True)
    for name in sys.argv[2:]:
        maskable = name.startswith('maskable-')
        size = int(name[len('maskable-'):] if maskable else name)
        # The square in the middle circle of a maskable icon: 4/5 of the size across its corners, 9/16 a side.
        rows = icon(size, (9, 16)) if maskable else icon(size)
        with open(os.path.join(folder, 'icon-%s.png' % name), 'wb') as handle:
            handle.write(png(rows))


if __name__ == '__main__':
    main()

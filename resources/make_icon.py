#!/usr/bin/env python3
"""Draws the program icon (icon group 129) and writes it as a .ico file.

The picture is ours: a keyboard's white and black keys under a rising arrow, drawn pixel by pixel at
16, 32 and 48 pixels in 32-bit colour with an alpha channel. Usage: make_icon.py <output.ico>
"""
import struct
import sys


def draw(size):
    """Returns rows (top first) of (r, g, b, a) pixels."""
    transparent = (0, 0, 0, 0)
    pixels = [[transparent] * size for _ in range(size)]
    s = size / 16.0

    def fill(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                if 0 <= x < size and 0 <= y < size:
                    pixels[y][x] = colour

    body = (40, 60, 120, 255)
    white = (250, 250, 250, 255)
    black = (20, 20, 20, 255)
    arrow = (240, 160, 30, 255)
    # Keyboard body and its white keys.
    fill(0, 8, 16, 16, body)
    for key in range(5):
        fill(1 + key * 3, 9, 3 + key * 3, 15, white)
    # Black keys between the white ones.
    for key in (0, 1, 3):
        fill(2.5 + key * 3, 9, 4 + key * 3, 12, black)
    # The arrow: a shaft and a head pointing up.
    fill(7, 3, 9, 8, arrow)
    for row in range(4):
        fill(8 - row - 0.5, row, 8 + row + 0.5, row + 1, arrow)
    return pixels


def image_entry(size):
    """A BITMAPINFOHEADER image as stored in .ico files: XOR bitmap bottom-up, then the AND mask."""
    pixels = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def main():
    sizes = (16, 32, 48)
    images = [image_entry(size) for size in sizes]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    with open(sys.argv[1], 'wb') as handle:
        handle.write(out)


if __name__ == '__main__':
    main()

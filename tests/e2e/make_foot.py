#!/usr/bin/env python3
"""Writes a grey foot image: 150 x 360 pixels, one pixel per millimetre, 8-bit BMP with a
grey palette and the plain 40-byte header that every BMP reader accepts.

The foot is a right foot, toes up, about 100 mm wide and 262 mm long, drawn off-centre
(left of the middle and low in the picture) so that the view has to move it to centre it.
Its grey relief rises towards the arch and the heel, like a pressure picture.

    make_foot.py OUT.bmp            the foot
    make_foot.py --text OUT         a text file, for choosing a non-image by mistake
"""
import math
import struct
import sys

WIDTH, HEIGHT = 150, 360


def inside_ellipse(x, y, cx, cy, rx, ry):
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def foot_value(x, y):
    """Grey value of picture pixel (x, y), y counted from the top; 0 off the foot."""
    xc, yc = x + 0.5, y + 0.5
    # Forefoot, heel and the band of the midfoot between them (narrower on the arch side).
    forefoot = inside_ellipse(xc, yc, 62, 120, 50, 62)
    heel = inside_ellipse(xc, yc, 58, 275, 34, 44)
    mid = 120 <= yc <= 275 and (30 + (yc - 120) * 0.05) <= xc <= (110 - (yc - 120) * 0.1)
    toes = any(inside_ellipse(xc, yc, tx, ty, r, r * 1.3)
               for tx, ty, r in ((28, 62, 13), (50, 52, 9), (68, 54, 8), (84, 60, 7), (98, 70, 6)))
    if not (forefoot or heel or mid or toes):
        return 0
    # Relief: higher under the arch (left side of the midfoot) and the heel, lowest at the toes.
    arch = math.exp(-(((xc - 38) / 18) ** 2 + ((yc - 200) / 45) ** 2))
    heel_cup = math.exp(-(((xc - 58) / 30) ** 2 + ((yc - 280) / 30) ** 2))
    value = 24 + 110 * arch + 50 * heel_cup + (yc / HEIGHT) * 30
    return max(1, min(255, int(value)))


def write_bmp(path):
    row_bytes = (WIDTH + 3) // 4 * 4
    palette = b"".join(bytes((g, g, g, 0)) for g in range(256))
    pixels = bytearray()
    for scanline in range(HEIGHT):  # BMP scanline 0 is the bottom row of the picture
        y = HEIGHT - 1 - scanline
        row = bytes(foot_value(x, y) for x in range(WIDTH))
        pixels += row + bytes(row_bytes - WIDTH)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    # 1000 dots per metre: one pixel per millimetre.
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, len(pixels), 1000, 1000, 256, 0)
    with open(path, "wb") as f:
        f.write(header + info + palette + pixels)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--text":
        with open(sys.argv[2], "w") as f:
            f.write("This is a shopping list, not a foot.\nmilk\nbread\n")
    elif len(sys.argv) == 2:
        write_bmp(sys.argv[1])
    else:
        sys.exit(__doc__)

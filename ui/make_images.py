#!/usr/bin/env python3
"""Generates the player's pictures for its resource script.

  make_images.py icon OUT.ico      the program icon: a laserdisc
"""
import math
import struct
import sys


def disc_pixel(x, y, size):
    """Colour (b, g, r, a) of a laserdisc seen from above."""
    c = (size - 1) / 2.0
    r = math.hypot(x - c, y - c) / (size / 2.0)
    if r > 0.98:
        return (0, 0, 0, 0)
    if r < 0.12:
        return (0, 0, 0, 0)
    if r < 0.3:
        return (200, 200, 200, 255)
    # Rainbow sheen of the data area.
    angle = math.atan2(y - c, x - c)
    shade = int(150 + 80 * math.cos(3 * angle))
    return (shade, int(120 + 100 * r), 230 - int(60 * r), 255)


def icon(path, size=32):
    pixels = b""
    mask_rows = b""
    for y in reversed(range(size)):
        mask = 0
        for x in range(size):
            b, g, r, a = disc_pixel(x, y, size)
            pixels += bytes((b, g, r, a))
            mask = (mask << 1) | (0 if a else 1)
        mask_rows += mask.to_bytes(size // 8, "big")
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask_rows), 0, 0, 0, 0)
    image = header + pixels + mask_rows
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22)
    with open(path, "wb") as f:
        f.write(directory + image)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "icon":
        icon(sys.argv[2])
    else:
        print(__doc__)
        sys.exit(2)

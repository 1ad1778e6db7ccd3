#!/usr/bin/env python3
"""Generates the player's pictures for its resource script.

  make_images.py icon OUT.ico      the program icon: a laserdisc
  make_images.py splash OUT.bmp    the splash picture: 311 x 179 pixels, 8 bits
                                   per pixel, 236 colours; a laserdisc above the
                                   product name, drawn with the pixel font below
  make_images.py closing OUT.bmp   the closing still that the setup program
                                   installs: the splash picture's laserdisc
                                   alone, in the splash's colours
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


# -- the splash picture --------------------------------------------------------

SPLASH_WIDTH, SPLASH_HEIGHT = 311, 179
PRODUCT_NAME = "Halcyra.hrx"
VERSION = "Ver 1.25 Rev B"

# Colour table: 236 entries in five ranges, every entry used by the picture.
BACKGROUND, BACKGROUND_COUNT = 0, 120   # vertical gradient, navy to teal
RAINBOW, RAINBOW_COUNT = 120, 80        # the disc's data area
GREY, GREY_COUNT = 200, 20              # hub and rim
GOLD, GOLD_COUNT = 220, 10              # the product name, top to bottom
SHADOW = 230
WHITE = 231
PALE, PALE_COUNT = 232, 4               # the version line
COLOUR_COUNT = 236

# A 5 x 9 pixel font: seven rows above the base line, two for descenders.
FONT = {
    " ": [],
    ".": [".....", ".....", ".....", ".....", ".....", ".##..", ".##.."],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "2": [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
    "5": ["#####", "#....", "####.", "....#", "....#", "#...#", ".###."],
    "B": ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    "H": ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "c": [".....", ".....", ".####", "#....", "#....", "#....", ".####"],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "h": ["#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    "l": [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "v": [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "x": [".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"],
    "y": [".....", ".....", "#...#", "#...#", "#...#", "#...#", ".####", "....#", ".###."],
}
GLYPH_WIDTH, GLYPH_HEIGHT, GLYPH_ADVANCE = 5, 9, 6


def hsv(h, s, v):
    i = int(h * 6) % 6
    f = h * 6 - int(h * 6)
    p, q, t = v * (1 - s), v * (1 - s * f), v * (1 - s * (1 - f))
    r, g, b = [(v, t, p), (q, v, p), (p, v, t), (p, q, v), (t, p, v), (v, p, q)][i]
    return int(r * 255), int(g * 255), int(b * 255)


def ramp(first, last, count):
    return [tuple(int(a + (b - a) * i / (count - 1)) for a, b in zip(first, last)) for i in range(count)]


def splash_palette():
    """The colour table as (r, g, b) tuples, in index order."""
    # Blue rises by one a step, so no two background rows share a colour.
    colours = [(10 + i // 12, 16 + i * 70 // (BACKGROUND_COUNT - 1), 48 + i) for i in range(BACKGROUND_COUNT)]
    colours += [hsv(i / RAINBOW_COUNT, 0.55, 0.95) for i in range(RAINBOW_COUNT)]
    colours += ramp((96, 96, 104), (236, 236, 240), GREY_COUNT)
    colours += ramp((255, 236, 140), (200, 120, 24), GOLD_COUNT)
    colours += [(4, 4, 12), (255, 255, 255)]
    colours += ramp((220, 236, 255), (150, 190, 230), PALE_COUNT)
    assert len(colours) == COLOUR_COUNT and len(set(colours)) == COLOUR_COUNT
    return colours


def disc_index(x, y, cx, cy, radius):
    """Palette index of the disc at (x, y), or None outside it and in its hole."""
    r = math.hypot(x - cx, y - cy)
    if r >= radius or r <= radius * 0.16:
        return None
    if r > radius - 2:
        return GREY + GREY_COUNT - 3
    hub = radius * 0.38
    if r <= hub:
        return GREY + min(GREY_COUNT - 1, int((r - radius * 0.16) / (hub - radius * 0.16) * GREY_COUNT))
    # Rainbow sheen of the data area: two bands round the disc, drifting outwards.
    angle = (math.atan2(y - cy, x - cx) / (2 * math.pi)) % 1.0
    hue = (2 * angle + 0.3 * r / radius) % 1.0
    return RAINBOW + int(hue * RAINBOW_COUNT) % RAINBOW_COUNT


def draw_text(pixels, text, left, top, scale, colour_of_row, shadow=None):
    """Draws text with the pixel font; colour_of_row(row) gives the colour
    of a pixel row of the text, shadow its offset in pixels."""
    passes = ([(shadow, lambda row: SHADOW)] if shadow else []) + [(0, colour_of_row)]
    for offset, colour in passes:
        for n, ch in enumerate(text):
            for gy, bits in enumerate(FONT[ch]):
                for gx, bit in enumerate(bits):
                    if bit != "#":
                        continue
                    for sy in range(scale):
                        for sx in range(scale):
                            x = left + (n * GLYPH_ADVANCE + gx) * scale + sx + offset
                            y = top + gy * scale + sy + offset
                            if 0 <= x < SPLASH_WIDTH and 0 <= y < SPLASH_HEIGHT:
                                pixels[y][x] = colour(gy * scale + sy)


def text_width(text, scale):
    return (len(text) * GLYPH_ADVANCE - 1) * scale


def splash_pixels(with_text=True):
    """Rows of palette indices, top row first; without the text only the
    background and the disc."""
    pixels = [[BACKGROUND + y * BACKGROUND_COUNT // SPLASH_HEIGHT] * SPLASH_WIDTH for y in range(SPLASH_HEIGHT)]
    cx, cy, radius = SPLASH_WIDTH // 2, (64 if with_text else SPLASH_HEIGHT // 2), 56
    for y in range(SPLASH_HEIGHT):
        for x in range(SPLASH_WIDTH):
            index = disc_index(x, y, cx, cy, radius)
            if index is not None:
                pixels[y][x] = index
    if not with_text:
        return pixels
    name_scale, name_top = 3, 127
    name_rows = GLYPH_HEIGHT * name_scale
    draw_text(pixels, PRODUCT_NAME, (SPLASH_WIDTH - text_width(PRODUCT_NAME, name_scale)) // 2, name_top,
              name_scale, lambda row: GOLD + row * GOLD_COUNT // name_rows, shadow=2)
    version_scale, version_top = 2, 160
    version_rows = 7 * version_scale
    draw_text(pixels, VERSION, (SPLASH_WIDTH - text_width(VERSION, version_scale)) // 2, version_top,
              version_scale, lambda row: PALE + row * PALE_COUNT // version_rows)
    # A thin white rule under the name.
    for x in range(40, SPLASH_WIDTH - 40):
        pixels[156][x] = WHITE
    return pixels


def splash(path, with_text=True):
    palette = splash_palette()
    rows = splash_pixels(with_text)
    stride = (SPLASH_WIDTH + 3) & ~3
    data = b"".join(bytes(row) + b"\0" * (stride - SPLASH_WIDTH) for row in reversed(rows))
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    info = struct.pack("<IiiHHIIiiII", 40, SPLASH_WIDTH, SPLASH_HEIGHT, 1, 8, 0, len(data), 2835, 2835,
                       COLOUR_COUNT, COLOUR_COUNT)
    offset = 14 + len(info) + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + table + data)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "icon":
        icon(sys.argv[2])
    elif len(sys.argv) == 3 and sys.argv[1] == "splash":
        splash(sys.argv[2])
    elif len(sys.argv) == 3 and sys.argv[1] == "closing":
        splash(sys.argv[2], with_text=False)
    else:
        print(__doc__)
        sys.exit(2)

#!/usr/bin/env python3
"""Draws the two bitmaps that the windows copy pixels from, and writes them as PNG.

    python3 resources/tools/make_bitmaps.py

writes resources/icons/digits.png and resources/icons/gauge.png. Both are checked in; run this
again only after changing the drawing below. Standard library only, and no anti-aliasing: the
counter copies glyphs pixel for pixel, so every pixel of the digit strip must be one of its
three exact colours.
"""

import pathlib
import struct
import zlib

ICONS = pathlib.Path(__file__).resolve().parent.parent / "icons"


def write_png(path, width, height, pixel):
    """Writes a 24-bit RGB PNG; pixel(x, y) returns an (r, g, b) tuple."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # filter type None for every row
        for x in range(width):
            raw.extend(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8 bits, colour type 2 (RGB)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    path.write_bytes(png)


# --- digit strip: eleven 13 x 18 seven-segment glyphs, 0-9 then one with every segment dark ---

GLYPH_W, GLYPH_H = 13, 18
LIT, DARK, BACK = (0, 255, 0), (0, 128, 0), (0, 0, 0)

# Segment rectangles inside a glyph as (x, y, width, height). Columns 0 and 12 and rows 0 and 17
# stay black, and the corners between segments stay black so the segments read apart.
SEGMENTS = {
    "a": (3, 1, 7, 2),
    "b": (10, 3, 2, 5),
    "c": (10, 10, 2, 5),
    "d": (3, 15, 7, 2),
    "e": (1, 10, 2, 5),
    "f": (1, 3, 2, 5),
    "g": (3, 8, 7, 2),
}

LIT_SEGMENTS = ["abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg", "acdefg", "abc", "abcdefg", "abcdfg", ""]


def digit_pixel(x, y):
    glyph, gx = divmod(x, GLYPH_W)
    for name, (sx, sy, sw, sh) in SEGMENTS.items():
        if sx <= gx < sx + sw and sy <= y < sy + sh:
            return LIT if name in LIT_SEGMENTS[glyph] else DARK
    return BACK


# --- full progress gauge: 400 x 21, white, one striped bar running from end to end ---

GAUGE_W, GAUGE_H = 400, 21
BAR_TOP, BAR_BOTTOM = 2, 18  # inclusive rows of the bar's border
START, END = (21, 101, 192), (67, 160, 71)  # blue at the left turning green at the right
BORDER = (13, 45, 84)


def mix(a, b, t):
    return tuple(round(p + (q - p) * t) for p, q in zip(a, b))


def gauge_pixel(x, y):
    if y < BAR_TOP or y > BAR_BOTTOM:
        return (255, 255, 255)
    if y in (BAR_TOP, BAR_BOTTOM) or x in (0, GAUGE_W - 1):
        return BORDER
    base = mix(START, END, x / (GAUGE_W - 1))
    if (x + y) % 12 < 6:  # diagonal stripes
        base = mix(base, (255, 255, 255), 0.22)
    if y == BAR_TOP + 2:  # highlight along the top
        base = mix(base, (255, 255, 255), 0.5)
    if y == BAR_BOTTOM - 1:  # shade along the bottom
        base = mix(base, (0, 0, 0), 0.25)
    return base


if __name__ == "__main__":
    write_png(ICONS / "digits.png", GLYPH_W * len(LIT_SEGMENTS), GLYPH_H, digit_pixel)
    write_png(ICONS / "gauge.png", GAUGE_W, GAUGE_H, gauge_pixel)

#!/usr/bin/env python3
"""Writes logo.bmp, the About box logo: 130 x 32 pixels, 8 bits per pixel
with a palette, uncompressed. A 3 x 3 kernel grid icon (a sharpening kernel:
warm centre, cool neighbours, dim corners) beside the wordmark, on a diagonal
gradient. Standard library only: python3 resources/make_logo.py
"""
import sys

sys.dont_write_bytecode = True  # keep the source folder free of __pycache__

import os

from bmpfile import write_bmp
from pixfont import text_pixels, text_width

W, H = 130, 32
RAMP = 64  # palette entries 0 .. RAMP-1 hold the background gradient
RAMP_FROM, RAMP_TO = (16, 22, 46), (26, 84, 100)

SHADOW, TEXT, SUBTITLE, OUTLINE, CORNER, EDGE, CENTRE, GLINT = range(RAMP, RAMP + 8)
PALETTE = [tuple(round(a + (b - a) * i / (RAMP - 1)) for a, b in zip(RAMP_FROM, RAMP_TO))
           for i in range(RAMP)] + [
    (6, 10, 22),      # SHADOW
    (240, 244, 250),  # TEXT
    (150, 204, 222),  # SUBTITLE
    (196, 210, 232),  # OUTLINE
    (58, 74, 107),    # CORNER
    (91, 139, 208),   # EDGE
    (255, 176, 64),   # CENTRE
    (255, 220, 150),  # GLINT
]


def main():
    # Diagonal gradient: mostly left to right, a little top to bottom.
    px = [[min(RAMP - 1, round((x / (W - 1)) * 50 + (y / (H - 1)) * 13)) for x in range(W)]
          for y in range(H)]

    # Kernel icon: 3 x 3 cells of 6 px inside 1 px outlines, 22 px square.
    cell, ox, oy = 6, 5, 5
    side = 3 * cell + 4
    for y in range(side):
        for x in range(side):
            px[oy + y][ox + x] = OUTLINE
    for r in range(3):
        for c in range(3):
            kind = CENTRE if (r, c) == (1, 1) else EDGE if (r == 1 or c == 1) else CORNER
            x0, y0 = ox + 1 + c * (cell + 1), oy + 1 + r * (cell + 1)
            for y in range(cell):
                for x in range(cell):
                    px[y0 + y][x0 + x] = kind
            if kind == CENTRE:  # a small glint in the centre cell's corner
                for x, y in ((1, 1), (2, 1), (1, 2)):
                    px[y0 + y][x0 + x] = GLINT

    # Wordmark with a drop shadow, then the spaced-out subtitle and a rule.
    tx, ty = 36, 4
    word = "VELMORA"
    for colour, d in ((SHADOW, 1), (TEXT, 0)):
        for x, y in text_pixels(word, scale=2):
            px[ty + y + d][tx + x + d] = colour
    word_end = tx + text_width(word, scale=2)
    sub = "FILTER"
    sx, sy = tx, 22
    for x, y in text_pixels(sub, gap=2):
        px[sy + y][sx + x] = SUBTITLE
    rule_y = sy + 3
    for x in range(sx + text_width(sub, gap=2) + 4, word_end + 1):
        px[rule_y][x] = EDGE

    here = os.path.dirname(os.path.abspath(__file__))
    write_bmp(os.path.join(here, "logo.bmp"), px, 8, PALETTE)


if __name__ == "__main__":
    main()

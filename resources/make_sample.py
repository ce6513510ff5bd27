#!/usr/bin/env python3
"""Writes sample.bmp, the control dialog's preview picture: 160 x 120, 24 bits
per pixel, uncompressed, bottom-up. Panels chosen so every kind of kernel shows
its effect: a smooth colour sweep (blur leaves it, edge finders blank it), a
zone plate and checkers from 8 px down to 1 px (blur and sharpen act by
frequency), hard-edged shapes and a 1 px ring (edges), small text, 1 px lines
at many angles, and a shaded sphere. Standard library only:
python3 resources/make_sample.py
"""
import sys

sys.dont_write_bytecode = True  # keep the source folder free of __pycache__

import colorsys
import math
import os

from bmpfile import write_bmp
from pixfont import text_pixels

W, H = 160, 120
BLACK, WHITE = (0, 0, 0), (255, 255, 255)


def to8(v):
    return max(0, min(255, round(v * 255)))


def rgb(r, g, b):
    return (to8(r), to8(g), to8(b))


def hue_sweep(img):
    # y 0..23: hue left to right, brightness falling and saturation rising downward.
    for y in range(24):
        t = y / 23
        for x in range(W):
            img[y][x] = rgb(*colorsys.hsv_to_rgb(x / W * 0.85, 0.35 + 0.65 * t, 1.0 - 0.45 * t))


def zone_plate(img, x0, y0, size):
    # Circular chirp: the local frequency grows with the radius up to 0.5 cycles/px at the rim.
    c = (size - 1) / 2
    for y in range(size):
        for x in range(size):
            r2 = (x - c) ** 2 + (y - c) ** 2
            v = 0.5 + 0.5 * math.cos(math.pi * r2 / (2 * c))
            img[y0 + y][x0 + x] = rgb(0.15 + 0.8 * v, 0.1 + 0.85 * v, 0.25 + 0.7 * v)


def checkers(img, x0, y0, w, h):
    # Four blocks, cell sizes 8, 4, 2, 1 px, each in its own pair of colours.
    blocks = [(8, (20, 20, 20), (235, 235, 235)), (4, (200, 30, 40), (250, 220, 60)),
              (2, (20, 60, 160), (240, 240, 240)), (1, (0, 0, 0), (255, 255, 255))]
    bw, bh = w // 2, h // 2
    for i, (cell, a, b) in enumerate(blocks):
        bx, by = x0 + (i % 2) * bw, y0 + (i // 2) * bh
        for y in range(bh):
            for x in range(bw):
                img[by + y][bx + x] = a if ((x // cell) + (y // cell)) % 2 else b


def shapes(img, x0, y0, w, h):
    for y in range(h):
        for x in range(w):
            img[y0 + y][x0 + x] = (128, 128, 136)
    cx, cy = x0 + 16, y0 + 16
    for y in range(y0, y0 + h):
        for x in range(x0, x0 + w):
            if (x - cx) ** 2 + (y - cy) ** 2 <= 11.5 ** 2:
                img[y][x] = (220, 40, 30)
    # Blue triangle, apex up, with a straight and two slanted edges.
    tx, ty, th = x0 + 42, y0 + 4, 24
    for dy in range(th):
        half = dy * 12 // th
        for x in range(tx - half, tx + half + 1):
            img[ty + dy][x] = (30, 70, 220)
    for y in range(y0 + 34, y0 + 54):  # yellow square overlapping a green ring
        for x in range(x0 + 6, x0 + 26):
            img[y][x] = (250, 210, 30)
    rx, ry, rr = x0 + 38, y0 + 44, 11
    for y in range(y0, y0 + h):
        for x in range(x0, x0 + w):
            d = math.hypot(x - rx, y - ry)
            if abs(d - rr) < 0.5:  # 1 px ring
                img[y][x] = (20, 200, 90)


def text_panel(img, x0, y0, w, h):
    for y in range(h):
        for x in range(w):
            img[y0 + y][x0 + x] = (24, 26, 40)
    lines = [("VELMORA 3X3", (255, 255, 255)), ("KERNEL 5X5", (255, 210, 60)),
             ("BLUR -1 9 0", (120, 220, 255))]
    for i, (text, colour) in enumerate(lines):
        for x, y in text_pixels(text):
            img[y0 + 3 + i * 11 + y][x0 + 4 + x] = colour


def line(img, x0, y0, x1, y1, colour):
    # Bresenham: every pixel of the line is 1 px wide, no smoothing.
    dx, dy = abs(x1 - x0), -abs(y1 - y0)
    sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
    err = dx + dy
    while True:
        img[y0][x0] = colour
        if (x0, y0) == (x1, y1):
            return
        e2 = 2 * err
        if e2 >= dy:
            err += dy
            x0 += sx
        if e2 <= dx:
            err += dx
            y0 += sy


def starburst(img, x0, y0, w, h):
    for y in range(h):
        for x in range(w):
            img[y0 + y][x0 + x] = WHITE
    cx, cy = x0 + 1, y0 + h - 2
    for i in range(12):
        a = i / 11 * math.pi / 2
        r, g, b = colorsys.hsv_to_rgb(i / 12, 1.0, 0.8)
        line(img, cx, cy, cx + round((w - 3) * math.cos(a)), cy - round((h - 3) * math.sin(a)),
             rgb(r, g, b))


def sphere(img, x0, y0, w, h):
    cx, cy, rad = x0 + w / 2 - 0.5, y0 + h / 2 - 0.5, min(w, h) / 2 - 3
    light = (-0.5, -0.6, 0.62)
    n = math.sqrt(sum(v * v for v in light))
    light = tuple(v / n for v in light)
    for y in range(y0, y0 + h):
        for x in range(x0, x0 + w):
            u, v = (x - cx) / rad, (y - cy) / rad
            d2 = u * u + v * v
            if d2 <= 1:
                z = math.sqrt(1 - d2)
                diffuse = max(0.0, u * light[0] + v * light[1] + z * light[2])
                spec = diffuse ** 40
                img[y][x] = rgb(0.1 + 0.75 * diffuse + spec, 0.05 + 0.35 * diffuse + spec,
                                0.3 + 0.6 * diffuse + spec)
            else:
                t = (y - y0) / (h - 1)
                img[y][x] = rgb(0.9 - 0.5 * t, 0.92 - 0.45 * t, 0.75 - 0.2 * t)


def main():
    img = [[BLACK] * W for _ in range(H)]
    hue_sweep(img)
    zone_plate(img, 0, 25, 59)
    checkers(img, 60, 25, 44, 58)
    shapes(img, 105, 25, 55, 58)
    text_panel(img, 0, 84, 71, 36)
    starburst(img, 72, 84, 43, 36)
    sphere(img, 116, 84, 44, 36)
    # The 1 px black gutters between panels stay as drawn by the initial fill.
    here = os.path.dirname(os.path.abspath(__file__))
    write_bmp(os.path.join(here, "sample.bmp"), img, 24)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Draws the UI package pictures (our own artwork) into a folder.

usage: make_artwork.py OUT_DIR
Writes OUT_DIR/背景图（大）.png (813 x 300 header: flat blue, a lighter blue
wave at the right and a white wave along the bottom) and the two 24 x 24
check-box pictures 多选选中_o.png and 多选未选中_o.png.
"""
import math
import os
import sys

from PIL import Image, ImageDraw

BLUE = (0x50, 0x8A, 0xFF, 255)
LIGHT_BLUE = (0x7C, 0xA8, 0xFF, 255)
WHITE = (255, 255, 255, 255)
TEAL = (0x20, 0xD5, 0xB8, 255)
GREY = (0xB0, 0xB0, 0xB0, 255)


def crest(width, base, height, period, phase, rise=None):
    """Points of a wave crest line across the picture. With rise=(a, b) the
    wave grows out of the bottom edge between the fractions a and b of the width."""
    points = []
    for x in range(width + 1):
        ramp = 1.0
        if rise:
            t = min(1.0, max(0.0, (x / width - rise[0]) / (rise[1] - rise[0])))
            ramp = t * t * (3 - 2 * t)
        y = base - ramp * height * (0.75 + 0.25 * math.sin(2 * math.pi * x / period + phase))
        points.append((x, y))
    return points


def header(path):
    w, h = 813, 300
    scale = 4  # drawn large, then reduced: smooth edges
    big = Image.new("RGBA", (w * scale, h * scale), BLUE)
    d = ImageDraw.Draw(big)
    light = crest(w, h, 78, 560, 0.8, rise=(0.35, 0.8))
    d.polygon([(x * scale, y * scale) for x, y in light] + [(w * scale, h * scale), (0, h * scale)], fill=LIGHT_BLUE)
    white = crest(w, h, 30, 640, 0.3)
    d.polygon([(x * scale, y * scale) for x, y in white] + [(w * scale, h * scale), (0, h * scale)], fill=WHITE)
    big.resize((w, h), Image.LANCZOS).save(path)


def check_box(path, ticked):
    scale = 8
    img = Image.new("RGBA", (24 * scale, 24 * scale), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    frame = TEAL if ticked else GREY
    d.rectangle([3 * scale, 3 * scale, 21 * scale, 21 * scale], outline=frame, width=int(1.5 * scale), fill=WHITE)
    if ticked:
        d.line([(7 * scale, 12 * scale), (10.5 * scale, 15.5 * scale), (17 * scale, 8.5 * scale)], fill=TEAL,
               width=2 * scale, joint="curve")
    img.resize((24, 24), Image.LANCZOS).save(path)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    header(os.path.join(out, "背景图（大）.png"))
    check_box(os.path.join(out, "多选选中_o.png"), True)
    check_box(os.path.join(out, "多选未选中_o.png"), False)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Draws the installer's icon: one 32-bit 151 x 150 image (our own artwork),
written as a classic ICO with a BMP entry. usage: make_icon.py OUT.ico"""
import struct
import sys

W, H = 151, 150


def pixel(x, y):
    # A rounded blue tile with a white "V" and a teal base line.
    cx, cy, r = W / 2, H / 2, 28
    dx = max(abs(x + 0.5 - cx) - (W / 2 - r - 4), 0)
    dy = max(abs(y + 0.5 - cy) - (H / 2 - r - 4), 0)
    if dx * dx + dy * dy > r * r:
        return (0, 0, 0, 0)
    t = y / H
    b, g, rr = 255, int(0x8A - 30 * t), int(0x50 - 30 * t)
    # The V: two strokes meeting at the bottom centre.
    top, bottom, half = 34, 112, 42
    if top <= y <= bottom:
        k = (y - top) / (bottom - top)
        left = cx - half * (1 - k)
        right = cx + half * (1 - k)
        if abs(x - left) < 9 or abs(x - right) < 9:
            return (255, 255, 255, 255)
    if 120 <= y <= 126 and 40 <= x <= W - 40:
        return (0xB8, 0xD5, 0x20, 255)
    return (b, g, rr, 255)


def main(out):
    rows = []
    for y in range(H - 1, -1, -1):  # bottom-up
        rows.append(b"".join(struct.pack("BBBB", *pixel(x, y)) for x in range(W)))
    xor = b"".join(rows)
    mask_row = ((W + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * H)
    header = struct.pack("<IiiHHIIiiII", 40, W, H * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    image = header + xor + and_mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", W, H, 0, 0, 1, 32, len(image), 6 + 16)
    with open(out, "wb") as f:
        f.write(icondir + entry + image)


if __name__ == "__main__":
    main(sys.argv[1])

#!/usr/bin/env python3
"""Writes keyed.bmp: an 8-bit palette bitmap of 4 x 2 pixels for the Windows toolkit tests.

Top row: white (the transparent key), (254, 255, 255), blue, (10, 20, 30);
bottom row: white, white, green, red.
"""
import struct
import sys

rows = [
    [(255, 255, 255), (254, 255, 255), (0, 0, 255), (10, 20, 30)],
    [(255, 255, 255), (255, 255, 255), (0, 255, 0), (255, 0, 0)],
]
palette = []
for row in rows:
    for colour in row:
        if colour not in palette:
            palette.append(colour)
width, height = len(rows[0]), len(rows)
stride = (width + 3) & ~3
pixels = b""
for row in reversed(rows):  # bottom-up
    line = bytes(palette.index(c) for c in row)
    pixels += line + b"\0" * (stride - width)
table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
header_size = 14 + 40 + len(table)
info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, len(palette), 0)
data = struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size) + info + table + pixels
with open(sys.argv[1] if len(sys.argv) > 1 else "keyed.bmp", "wb") as f:
    f.write(data)

#!/usr/bin/env python3
"""Converts an X window dump (xwd, 24/32-bit ZPixmap) to PNG, cropped to the part that
is not the black screen background.

    scripts/xwd_to_png.py INPUT.xwd OUTPUT.png
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_images import png  # noqa: E402


def shift_of(mask):
    shift = 0
    while mask and not mask & 1:
        mask >>= 1
        shift += 1
    return shift


def main():
    data = open(sys.argv[1], "rb").read()
    h = struct.unpack(">25I", data[:100])
    header_size, fmt, width, height = h[0], h[2], h[4], h[5]
    byte_order, bpp, bytes_per_line = h[7], h[11], h[12]
    masks = h[14:17]
    ncolors = h[19]
    if fmt != 2 or bpp not in (24, 32):
        sys.exit("xwd_to_png: only 24/32-bit ZPixmap dumps are supported")
    step = bpp // 8
    pixels = data[header_size + 12 * ncolors:]
    endian = "<" if byte_order == 0 else ">"
    shifts = [shift_of(m) for m in masks]
    rows = []
    for y in range(height):
        line = pixels[y * bytes_per_line:(y * bytes_per_line) + width * step]
        row = []
        for x in range(width):
            chunk = line[x * step:(x + 1) * step]
            v = int.from_bytes(chunk, "little" if endian == "<" else "big")
            row.append(tuple((v & m) >> s for m, s in zip(masks, shifts)))
        rows.append(row)
    # The bounding box of everything that is not the black background.
    xs = [x for row in rows for x, p in enumerate(row) if p != (0, 0, 0)]
    ys = [y for y, row in enumerate(rows) if any(p != (0, 0, 0) for p in row)]
    if not xs:
        sys.exit("xwd_to_png: the screen is empty")
    x0, x1, y0, y1 = min(xs), max(xs) + 1, min(ys), max(ys) + 1
    out = [bytes(c for p in row[x0:x1] for c in p) for row in rows[y0:y1]]
    with open(sys.argv[2], "wb") as f:
        f.write(png(x1 - x0, y1 - y0, out, 2))


if __name__ == "__main__":
    main()

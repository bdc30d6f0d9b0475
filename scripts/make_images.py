#!/usr/bin/env python3
"""Draws the window's banner and writes it as a PNG file (the icon is resources/icon.svg).

    scripts/make_images.py [OUTPUT_DIR]     (default: resources/)

The pictures are plain pixel arithmetic, so the output is the same on every run.
The banner is black and white: rows of black bars, like text that has been masked.
"""
import os
import struct
import sys
import zlib


def png(width, height, rows, color_type):
    """rows: list of bytes objects, one per pixel row (without the filter byte)."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    raw = b"".join(b"\x00" + r for r in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, color_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def banner(width=280, height=129):
    """Grayscale: a frame and rows of black bars of varied length on white."""
    px = [[255] * width for _ in range(height)]
    for x in range(width):
        px[0][x] = px[height - 1][x] = 0
    for y in range(height):
        px[y][0] = px[y][width - 1] = 0
    row_height, gap, margin = 9, 7, 12
    seed = 20261210
    y = margin
    while y + row_height <= height - margin + 2:
        x = margin
        while x < width - margin:
            seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
            length = 14 + seed % 70
            end = min(x + length, width - margin)
            for yy in range(y, min(y + row_height, height - 2)):
                for xx in range(x, end):
                    px[yy][xx] = 0
            x = end + 6 + (seed >> 8) % 8
        y += row_height + gap
    return png(width, height, [bytes(r) for r in px], 0)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources")
    os.makedirs(out, exist_ok=True)
    files = {"banner.png": banner()}
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()

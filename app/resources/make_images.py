#!/usr/bin/env python3
"""Draws the program's logos and icon and writes them as BMP and ICO files.

Run it again after changing a drawing; the files it writes are committed.
"""
import math
import struct
from pathlib import Path

SIZE = 120
HERE = Path(__file__).resolve().parent


def bmp_file(width, height, bits, rows, palette=b""):
    """A bottom-up BMP; rows are given top-down as bytes, padded here."""
    stride = (width * bits // 8 + 3) & ~3
    pixels = b"".join(row.ljust(stride, b"\0") for row in reversed(rows))
    colours = len(palette) // 4
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 2835, 2835,
                       colours, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


def varnel_logo(x, y):
    """Blue disc with a white V: the maker's mark."""
    cx = cy = SIZE / 2
    r = math.hypot(x - cx, y - cy)
    if r > 56:
        return (255, 255, 255)
    # The V: two strokes from the top corners to the bottom centre.
    for sx in (30, 90):
        t = (y - 30) / 62
        if 0 <= t <= 1 and abs(x - (sx + (60 - sx) * t)) < 7:
            return (255, 255, 255)
    shade = int(40 + 80 * (y / SIZE))
    return (0, shade, 160 + int(60 * (1 - r / 56)))


def ostrel_logo(x, y):
    """Green and orange diagonal bands."""
    band = (x + y) // 20
    return (20, 140, 60) if band % 2 else (240, 150, 30)


def brum_logo(x, y):
    """Dark red ring on grey."""
    r = math.hypot(x - SIZE / 2, y - SIZE / 2)
    return (150, 20, 30) if 30 < r < 50 else (200, 200, 200)


def palettised(draw):
    colours, rows = [], []
    for y in range(SIZE):
        row = bytearray()
        for x in range(SIZE):
            c = draw(x, y)
            if c not in colours:
                colours.append(c)
            row.append(colours.index(c))
        rows.append(bytes(row))
    assert len(colours) <= 256
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    return bmp_file(SIZE, SIZE, 8, rows, palette)


def true_colour(draw):
    rows = [b"".join(struct.pack("<BBB", *reversed(draw(x, y))) for x in range(SIZE))
            for y in range(SIZE)]
    return bmp_file(SIZE, SIZE, 24, rows)


def icon(draw, size=32):
    """One 32-bit image, scaled from the logo drawing."""
    scale = SIZE / size
    xor = b"".join(
        struct.pack("<BBBB", *reversed(draw(int(x * scale), int(y * scale))), 255)
        for y in reversed(range(size)) for x in range(size))
    and_mask = b"\0" * (size * ((size + 31) // 32) * 4)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask),
                       0, 0, 0, 0)
    image = info + xor + and_mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    # The palette limit of 256 colours holds for these drawings: quantise the
    # shading of the Varnel disc so that it fits.
    def varnel_8bit(x, y):
        r, g, b = varnel_logo(x, y)
        return (r, g & 0xF0, b & 0xF0)

    (HERE / "varnel_logo.bmp").write_bytes(palettised(varnel_8bit))
    (HERE / "ostrel_logo.bmp").write_bytes(true_colour(ostrel_logo))
    (HERE / "brum_logo.bmp").write_bytes(palettised(brum_logo))
    (HERE / "uninstall.ico").write_bytes(icon(varnel_logo))

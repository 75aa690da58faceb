#!/usr/bin/env python3
"""Draws the exception dialog's button glyphs (16x16) and its big icon
(32x32), our own artwork, into OUTPUT_DIR: one .bmp per glyph (32-bit
pixels with alpha, a 40-byte header, so the resource holds 1064 bytes) and
an .ico for the big icon. Shapes are sampled 4x4 per pixel for smooth
edges.   make_glyphs.py OUTPUT_DIR"""
import math
import os
import struct
import sys

SAMPLES = 4


def inside_polygon(x, y, points):
    inside = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def segment_distance(x, y, a, b):
    (ax, ay), (bx, by) = a, b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) <= r


def ring(cx, cy, r, width, start=0.0, end=360.0):
    def test(x, y):
        if abs(math.hypot(x - cx, y - cy) - r) > width / 2:
            return False
        angle = math.degrees(math.atan2(cy - y, x - cx)) % 360
        return start <= angle <= end
    return test


def polygon(*points):
    return lambda x, y: inside_polygon(x, y, points)


def line(a, b, width):
    return lambda x, y: segment_distance(x, y, a, b) <= width / 2


def outline(x0, y0, x1, y1, width=1.0):
    return lambda x, y: rect(x0, y0, x1, y1)(x, y) and not rect(
        x0 + width, y0 + width, x1 - width, y1 - width)(x, y)


def render(size, layers):
    """Layers are (shape, (r, g, b)) painted in order; returns rows of
    (r, g, b, a) from the top, colour not premultiplied."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) / SAMPLES
                    y = py + (sy + 0.5) / SAMPLES
                    colour = None
                    for shape, c in layers:
                        if shape(x, y):
                            colour = c
                    if colour:
                        r, g, b, a = r + colour[0], g + colour[1], b + colour[2], a + 1
            n = SAMPLES * SAMPLES
            row.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)) if a
                       else (0, 0, 0, 0))
        rows.append(row)
    return rows


def pixel_bytes(rows):
    """BGRA, bottom row first."""
    return b"".join(struct.pack("<4B", b, g, r, a) for row in reversed(rows)
                    for r, g, b, a in row)


def info_header(width, height):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, width * width * 4, 0, 0, 0, 0)


def write_bmp(path, rows):
    pixels = pixel_bytes(rows)
    header = info_header(16, 16)
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0, 54))
        f.write(header + pixels)


def write_ico(path, rows):
    size = len(rows)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):  # transparent where the alpha is low (systems without alpha)
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    image = info_header(size, 2 * size) + pixel_bytes(rows) + bytes(mask)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, 1))
        f.write(struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22))
        f.write(image)


INK = (40, 40, 48)
WHITE = (255, 255, 255)
PAPER = (250, 250, 244)
BLUE = (40, 96, 200)
GREEN = (36, 150, 60)
RED = (204, 44, 36)
GREY = (136, 136, 136)
ARROW = [(2, 6), (8, 6), (8, 2.5), (14.5, 8), (8, 13.5), (8, 10), (2, 10)]

GLYPHS = {
    "mail": [(rect(1, 3, 15, 13), PAPER), (outline(1, 3, 15, 13), INK),
             (line((1.5, 3.5), (8, 9), 1.1), INK), (line((8, 9), (14.5, 3.5), 1.1), INK)],
    "save": [(rect(2, 2, 14, 14), BLUE), (rect(4.5, 2, 11.5, 7), WHITE),
             (rect(9, 3, 10.5, 6), BLUE), (rect(5, 10, 11, 14), INK)],
    "print": [(rect(4, 1.5, 12, 7), PAPER), (outline(4, 1.5, 12, 7), INK),
              (rect(1, 6, 15, 12), GREY), (outline(1, 6, 15, 12), INK),
              (rect(4, 10, 12, 15), PAPER), (outline(4, 10, 12, 15), INK),
              (rect(5.5, 12, 10.5, 12.8), INK), (circle(12.5, 8, 0.8), GREEN)],
    "show": [(rect(2, 1, 11, 15), PAPER), (outline(2, 1, 11, 15), INK),
             (rect(4, 4, 9, 4.8), GREY), (rect(4, 6.5, 9, 7.3), GREY),
             (circle(10, 9.5, 3.2), (200, 225, 250)), (ring(10, 9.5, 3.2, 1.3), INK),
             (line((12.3, 11.8), (15, 14.5), 2), INK)],
    "continue": [(polygon(*ARROW), GREEN)],
    "restart": [(ring(8, 8.5, 5, 2.2, 60, 350), BLUE),
                (polygon((9, 0.8), (14.5, 3.2), (10, 7.5)), BLUE)],
    "close": [(circle(8, 8, 7), RED), (line((5, 5), (11, 11), 2), WHITE),
              (line((11, 5), (5, 11), 2), WHITE)],
    "cantContinue": [(polygon(*ARROW), GREY), (line((3, 14), (13, 2), 1.6), RED)],
}

BIG_ICON = [(polygon((16, 2), (30.5, 28.5), (1.5, 28.5)), (64, 32, 0)),
            (polygon((16, 4.5), (28.2, 27), (3.8, 27)), (250, 190, 30)),
            (polygon((14.5, 10), (17.5, 10), (16.8, 20), (15.2, 20)), INK),
            (circle(16, 23.5, 1.7), INK)]


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, layers in GLYPHS.items():
        write_bmp(os.path.join(out, "mei%s.bmp" % name), render(16, layers))
    write_ico(os.path.join(out, "meiBigIcon.ico"), render(32, BIG_ICON))


if __name__ == "__main__":
    main()

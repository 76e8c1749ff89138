#!/usr/bin/env python3
"""Writes the program's icon: an .ico file of four PNG-compressed images (16, 32, 48 and 256
pixels square). The mark is the program's own: a shaded cube, seen from a corner, on a
rounded teal square. Drawn with 4 x 4 samples per pixel; run by the build."""
import struct
import sys
import zlib

SIZES = (16, 32, 48, 256)
SAMPLES = 4
BACKGROUND = (0x1F, 0x6F, 0x8B)
FACES = ((0xF4, 0xF1, 0xE8), (0xE0, 0x8A, 0x2E), (0xA8, 0x55, 0x14))  # top, left, right


def hexagon():
    """The cube's three faces as convex quadrilaterals, in a unit square (y down)."""
    cx, cy, r = 0.5, 0.52, 0.36
    w = r * 0.866
    top, bottom = (cx, cy - r), (cx, cy + r)
    upper_left, upper_right = (cx - w, cy - r / 2), (cx + w, cy - r / 2)
    lower_left, lower_right = (cx - w, cy + r / 2), (cx + w, cy + r / 2)
    centre = (cx, cy)
    return ((top, upper_right, centre, upper_left),
            (upper_left, centre, bottom, lower_left),
            (centre, upper_right, lower_right, bottom))


def inside(polygon, x, y):
    sign = 0
    for i in range(len(polygon)):
        (x0, y0), (x1, y1) = polygon[i], polygon[(i + 1) % len(polygon)]
        cross = (x1 - x0) * (y - y0) - (y1 - y0) * (x - x0)
        if cross != 0:
            if sign == 0:
                sign = 1 if cross > 0 else -1
            elif (cross > 0) != (sign > 0):
                return False
    return True


def in_rounded_square(x, y, radius=0.18, margin=0.02):
    lo, hi = margin, 1 - margin
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    dx = max(lo + radius - x, 0, x - (hi - radius))
    dy = max(lo + radius - y, 0, y - (hi - radius))
    return dx * dx + dy * dy <= radius * radius


def sample(faces, x, y):
    for colour, face in zip(FACES, faces):
        if inside(face, x, y):
            return colour + (255,)
    if in_rounded_square(x, y):
        return BACKGROUND + (255,)
    return (0, 0, 0, 0)


def render(size):
    faces = hexagon()
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter: none
        for px in range(size):
            total = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = sample(faces, (px + (sx + 0.5) / SAMPLES) / size, (py + (sy + 0.5) / SAMPLES) / size)
                    total[0] += r * a
                    total[1] += g * a
                    total[2] += b * a
                    total[3] += a
            alpha = total[3]
            if alpha == 0:
                row += bytes(4)
            else:
                row += bytes((total[0] // alpha, total[1] // alpha, total[2] // alpha, alpha // (SAMPLES * SAMPLES)))
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b"")


def main():
    images = [png(size, render(size)) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        side = 0 if size == 256 else size  # 0 stands for 256
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()

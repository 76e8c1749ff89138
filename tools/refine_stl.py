#!/usr/bin/env python3
"""A large file with the surface and the triangle order of a real one (a scan): each
triangle of a binary STL file split LEVELS times into four by its edges' midpoints, its
pieces written where it stood, so that the file grows 4^LEVELS times and its picture stays
the same:
    refine_stl.py binary|ascii LEVELS IN.stl OUT.stl"""
import sys

import numpy as np


def split(tri):
    """Each triangle (n, 3, 3) as four: the corners' three and the middle one."""
    a, b, c = tri[:, 0], tri[:, 1], tri[:, 2]
    ab, bc, ca = (a + b) / 2, (b + c) / 2, (c + a) / 2
    return np.stack([np.stack(t, axis=1) for t in ((a, ab, ca), (ab, b, bc), (ca, bc, c), (ab, bc, ca))],
                    axis=1).reshape(-1, 3, 3)


def main():
    kind, levels, source, path = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    data = np.fromfile(source, dtype=np.uint8)
    count = int(data[80:84].view(np.uint32)[0])
    records = data[84:84 + 50 * count].reshape(count, 50)
    tri = records[:, 12:48].copy().view(np.float32).reshape(count, 3, 3).astype(np.float64)
    step = 4096
    with open(path, "wb") as f:
        if kind == "binary":
            f.write(b"Binary STL, a scan refined".ljust(80, b" "))
            f.write(np.uint32(count * 4 ** levels).tobytes())
        else:
            f.write(b"solid scan\n")
        for first in range(0, count, step):
            pieces = tri[first:first + step]
            for _ in range(levels):
                pieces = split(pieces)
            pieces = pieces.astype(np.float32)
            n = np.cross(pieces[:, 1] - pieces[:, 0], pieces[:, 2] - pieces[:, 0])
            n /= np.maximum(np.linalg.norm(n, axis=1, keepdims=True), 1e-30)
            if kind == "binary":
                out = np.zeros((len(pieces), 50), np.uint8)
                out[:, 0:12] = n.astype(np.float32).view(np.uint8).reshape(-1, 12)
                out[:, 12:48] = pieces.view(np.uint8).reshape(-1, 36)
                f.write(out.tobytes())
            else:
                rows = np.concatenate([n[:, None, :], pieces], axis=1).reshape(-1, 12)
                f.write("".join(
                    " facet normal %e %e %e\n  outer loop\n   vertex %e %e %e\n   vertex %e %e %e\n"
                    "   vertex %e %e %e\n  endloop\n endfacet\n" % tuple(r) for r in rows.tolist()).encode())
        if kind != "binary":
            f.write(b"endsolid scan\n")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Tori of the generator's shape (tube radius 12 mm around 40 mm) at any triangle count,
written a slice at a time so that a 2 GB file needs little memory:
    make_big_tori.py binary|ascii NU NV PATH [BUMPS]
writes 2 * NU * NV triangles: for each slice of NU, its quads' first triangles, then their
second ones. BUMPS (mm, default 0) roughens the tube as a scan's surface is rough: its radius
moves by up to that much, by value noise on a fixed 800 x 300 lattice over the surface, so
that tori of any triangle count have the same bumps."""
import sys

import numpy as np

R, r = 40.0, 12.0


LATTICE = (800, 300)


def lattice_value(i, j):
    """A fixed pseudo-random value from -1 to 1 for each lattice point, wrapping around."""
    i, j = i % LATTICE[0], j % LATTICE[1]
    h = np.sin(i * 12.9898 + j * 78.233) * 43758.5453
    return 2 * (h - np.floor(h)) - 1


def bumps(U, V):
    x, y = U / (2 * np.pi) * LATTICE[0], V / (2 * np.pi) * LATTICE[1]
    i, j = np.floor(x), np.floor(y)
    fx, fy = x - i, y - j
    return ((1 - fx) * (1 - fy) * lattice_value(i, j) + fx * (1 - fy) * lattice_value(i + 1, j) +
            (1 - fx) * fy * lattice_value(i, j + 1) + fx * fy * lattice_value(i + 1, j + 1))


def slice_triangles(u0, u1, nu, nv, bump):
    u = 2 * np.pi * np.arange(u0, u1 + 1) / nu
    v = 2 * np.pi * np.arange(nv + 1) / nv
    U, V = np.meshgrid(u, v, indexing="ij")
    t = r + bump * bumps(U, V) if bump else r
    P = np.stack([(R + t * np.cos(V)) * np.cos(U), (R + t * np.cos(V)) * np.sin(U), t * np.sin(V)], axis=-1)
    a, b, c, d = P[:-1, :-1], P[1:, :-1], P[1:, 1:], P[:-1, 1:]
    tri = np.concatenate([np.stack([a, b, c], axis=-2).reshape(-1, 3, 3),
                          np.stack([a, c, d], axis=-2).reshape(-1, 3, 3)]).astype(np.float32)
    n = np.cross(tri[:, 1] - tri[:, 0], tri[:, 2] - tri[:, 0])
    n /= np.linalg.norm(n, axis=1, keepdims=True)
    return n.astype(np.float32), tri


def main():
    kind, nu, nv, path = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    bump = float(sys.argv[5]) if len(sys.argv) > 5 else 0.0
    step = max(1, 400000 // nv)
    with open(path, "wb") as f:
        if kind == "binary":
            f.write(b"Binary STL, a torus for thumbnails".ljust(80, b" "))
            f.write(np.uint32(2 * nu * nv).tobytes())
        else:
            f.write(b"solid torus\n")
        for u0 in range(0, nu, step):
            n, tri = slice_triangles(u0, min(nu, u0 + step), nu, nv, bump)
            if kind == "binary":
                rec = np.zeros(len(tri), dtype=[("n", "<f4", 3), ("v", "<f4", (3, 3)), ("a", "<u2")])
                rec["n"], rec["v"] = n, tri
                f.write(rec.tobytes())
            else:
                facet = ("  facet normal %.6g %.6g %.6g\n    outer loop\n      vertex %.6g %.6g %.6g\n"
                         "      vertex %.6g %.6g %.6g\n      vertex %.6g %.6g %.6g\n    endloop\n  endfacet\n")
                values = np.concatenate([n, tri.reshape(-1, 9)], axis=1).ravel().tolist()
                f.write(((facet * len(tri)) % tuple(values)).encode())
        if kind != "binary":
            f.write(b"endsolid torus\n")


if __name__ == "__main__":
    main()

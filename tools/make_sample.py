#!/usr/bin/env python3
"""Writes samples/table.stl: a small ASCII STL model of a table with a bowl-like block on
it, one named solid per part, so that the viewer's tree, dimensions and messages have
something to show. Run from anywhere: python3 tools/make_sample.py [OUT]"""
import os
import sys

# (name, x0, y0, z0, x1, y1, z1) in millimetres, Z up.
PARTS = [
    ("table top", 0, 0, 70, 120, 80, 76),
    ("leg front left", 5, 5, 0, 11, 11, 70),
    ("leg front right", 109, 5, 0, 115, 11, 70),
    ("leg back left", 5, 69, 0, 11, 75, 70),
    ("leg back right", 109, 69, 0, 115, 75, 70),
    ("box on top", 40, 25, 76, 80, 55, 100),
]


def box(x0, y0, z0, x1, y1, z1):
    """Twelve outward-facing triangles with their normals."""
    p = [(x, y, z) for z in (z0, z1) for y in (y0, y1) for x in (x0, x1)]
    quads = [((0, 2, 3, 1), (0, 0, -1)), ((4, 5, 7, 6), (0, 0, 1)), ((0, 1, 5, 4), (0, -1, 0)),
             ((2, 6, 7, 3), (0, 1, 0)), ((0, 4, 6, 2), (-1, 0, 0)), ((1, 3, 7, 5), (1, 0, 0))]
    for (a, b, c, d), normal in quads:
        yield normal, (p[a], p[b], p[c])
        yield normal, (p[a], p[c], p[d])


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "samples", "table.stl")
    lines = []
    for name, *corners in PARTS:
        lines.append("solid %s" % name)
        for normal, triangle in box(*corners):
            lines.append("  facet normal %e %e %e" % normal)
            lines.append("    outer loop")
            for vertex in triangle:
                lines.append("      vertex %e %e %e" % vertex)
            lines.append("    endloop")
            lines.append("  endfacet")
        lines.append("endsolid %s" % name)
    with open(out, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()

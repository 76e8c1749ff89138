#!/usr/bin/env python3
"""Writes the small STL files the tests read (tests/fixtures). Run it again after changing
it; the files are committed so that the tests need no generation step."""
import struct
import sys
from pathlib import Path

CUBE = [  # a 10 mm cube, two triangles a face: (normal, v1, v2, v3)
    ((0, 0, -1), (0, 0, 0), (0, 10, 0), (10, 10, 0)), ((0, 0, -1), (0, 0, 0), (10, 10, 0), (10, 0, 0)),
    ((0, 0, 1), (0, 0, 10), (10, 0, 10), (10, 10, 10)), ((0, 0, 1), (0, 0, 10), (10, 10, 10), (0, 10, 10)),
    ((0, -1, 0), (0, 0, 0), (10, 0, 0), (10, 0, 10)), ((0, -1, 0), (0, 0, 0), (10, 0, 10), (0, 0, 10)),
    ((0, 1, 0), (0, 10, 0), (0, 10, 10), (10, 10, 10)), ((0, 1, 0), (0, 10, 0), (10, 10, 10), (10, 10, 0)),
    ((-1, 0, 0), (0, 0, 0), (0, 0, 10), (0, 10, 10)), ((-1, 0, 0), (0, 0, 0), (0, 10, 10), (0, 10, 0)),
    ((1, 0, 0), (10, 0, 0), (10, 10, 0), (10, 10, 10)), ((1, 0, 0), (10, 0, 0), (10, 10, 10), (10, 0, 10)),
]


def moved(triangles, dx=0.0, dy=0.0, dz=0.0):
    return [(n, *[(x + dx, y + dy, z + dz) for (x, y, z) in vs]) for (n, *vs) in triangles]


def box(sx, sy, sz):
    """The cube stretched to sx x sy x sz."""
    return [(n, *[(x * sx / 10, y * sy / 10, z * sz / 10) for (x, y, z) in vs]) for (n, *vs) in CUBE]


def ascii_solid(name, triangles, eol="\n", facet="  ", loop="    ", vertex="      ", after_vertex=" "):
    out = [f"solid {name}{eol}"]
    for n, *vs in triangles:
        out.append(f"{facet}facet normal {n[0]:e} {n[1]:e} {n[2]:e}{eol}{loop}outer loop{eol}")
        for v in vs:
            out.append(f"{vertex}vertex{after_vertex}{v[0]:e} {v[1]:e} {v[2]:e}{eol}")
        out.append(f"{loop}endloop{eol}{facet}endfacet{eol}")
    out.append(f"endsolid {name}{eol}")
    return "".join(out)


def binary(header, blocks):
    data = header.ljust(80, b"\0")[:80]
    for triangles, attributes in blocks:
        data += struct.pack("<I", len(triangles))
        for i, (n, *vs) in enumerate(triangles):
            data += struct.pack("<12fH", *n, *vs[0], *vs[1], *vs[2], attributes[i % len(attributes)])
    return data


def main(folder):
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    square = [((0, 0, 1), (0, 0, 0), (50, 0, 0), (50, 20, 0)), ((0, 0, 1), (0, 0, 0), (50, 20, 0), (0, 20, 0))]
    files = {
        "cube_ascii.stl": ascii_solid("cube", CUBE).encode(),
        "two_solids.stl": (ascii_solid("left", CUBE[:4]) + ascii_solid("right", moved(CUBE, dx=20))).encode(),
        "inches.stl": ascii_solid('"Bracket<stl unit=INCHES>"', CUBE).encode(),
        "fusion_y_up.stl": ascii_solid("ASCII", box(10, 20, 30), eol="\r\n", after_vertex="   ").encode(),
        "box_z_up.stl": ascii_solid("OpenSCAD_Model", box(10, 20, 30)).encode(),
        "cafe_utf8.stl": ascii_solid("caf\u00e9", CUBE[:2]).encode("utf-8"),
        "broken.stl": b"solid broken\n  facet normal 0 0 1\n    outer loop\n      vertex 0 0 0\n      vortex 1 0 0\n",
        "cube_binary.stl": binary(b"STLB ASM 218 exported part", [(CUBE, [0])]),
        "coloured_rgb.stl": binary(b"COLOR=\x80\x40\x20\xff,MATERIAL=\x80\x80\x80\xff\x80\x80\x80\xff",
                                   [(CUBE, [0x801F, 0x83E0, 0xFC00])]),
        "coloured_bgr.stl": binary(b"D:\\scans\\part.stl".ljust(69, b"_") + b"_COLOR",
                                   [(CUBE, [0x001F, 0x7C00])]),
        "flat_onshape.stl": binary(b"", [(square, [0])]),
        "two_blocks.stl": binary(b"solid multi\0", [(CUBE[:2], [0]), (CUBE[2:5], [0])]),
        "not_stl.txt": b"This is a text file, not a model.\n",
    }
    for name, data in files.items():
        (folder / name).write_bytes(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "tests" / "fixtures")

#!/usr/bin/env python3
"""Black-box tests of vantorel-info's pictures and arguments: renders files to PNG (through
Wine where given), decodes the PNGs and checks what they show."""
import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib
from pathlib import Path

EMULATOR, PROGRAM, FIXTURES = sys.argv[1], sys.argv[2], sys.argv[3]
del sys.argv[1:4]


def run(*arguments, cwd=FIXTURES):
    command = ([EMULATOR] if EMULATOR else []) + [PROGRAM, *arguments]
    environment = dict(os.environ, WINEDEBUG="-all")
    done = subprocess.run(command, cwd=cwd, capture_output=True, timeout=300, env=environment)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8", "replace")


def decode_png(path):
    """(width, height, rows of (r, g, b)) of an 8-bit RGB or RGBA PNG."""
    data = Path(path).read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, chunks = 8, {}
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        chunks.setdefault(kind, []).append(data[at + 8:at + 8 + length])
        at += 12 + length
    width, height, depth, colour = struct.unpack(">IIBB", chunks[b"IHDR"][0][:10])
    assert depth == 8 and colour in (2, 6), (depth, colour)
    step = 3 if colour == 2 else 4
    raw = zlib.decompress(b"".join(chunks[b"IDAT"]))
    stride = width * step
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - step] if i >= step else 0
            b, c = previous[i], previous[i - step] if i >= step else 0
            predictor = [0, a, b, (a + b) // 2, a + b - c][kind]
            if kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                predictor = a if pa <= pb and pa <= pc else b if pb <= pc else c
            line[i] = (line[i] + predictor) & 0xFF
        rows.append([tuple(line[x * step:x * step + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def model_box(rows):
    """The box (x0, y0, x1, y1) of the pixels that are not the background colour."""
    background = rows[0][0]
    points = [(x, y) for y, row in enumerate(rows) for x, p in enumerate(row) if p != background]
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return min(xs), min(ys), max(xs), max(ys)


def dominant(rows, channel):
    """The share of model pixels whose `channel` is more than 1.5 times each other one."""
    background = rows[0][0]
    model = [p for row in rows for p in row if p != background]
    strong = [p for p in model if all(p[channel] > 1.5 * p[k] for k in range(3) if k != channel)]
    return len(strong) / max(len(model), 1)


def box(sx, sy, sz):
    """The triangles of a box from the origin, counter-clockwise seen from outside."""
    corners = lambda c: ((c & 1) * sx, (c >> 1 & 1) * sy, (c >> 2 & 1) * sz)
    faces = [(0, 2, 3), (0, 3, 1), (4, 5, 7), (4, 7, 6), (0, 1, 5), (0, 5, 4),
             (2, 6, 7), (2, 7, 3), (0, 4, 6), (0, 6, 2), (1, 3, 7), (1, 7, 5)]
    return [[corners(c) for c in face] for face in faces]


def binary_cube(header, word):
    """A 10 mm cube whose triangles all carry the attribute `word`."""
    data = header.ljust(80, b"\0")[:80] + struct.pack("<I", 12)
    for triangle in box(10, 10, 10):
        data += struct.pack("<12fH", 0, 0, 0, *[v for vertex in triangle for v in vertex], word)
    return data


def ascii_file(name, triangles, eol="\n", after_vertex=" "):
    lines = [f"solid {name}"]
    for triangle in triangles:
        lines += ["  facet normal 0 0 0", "    outer loop"]
        lines += [f"      vertex{after_vertex}{x:e} {y:e} {z:e}" for x, y, z in triangle]
        lines += ["    endloop", "  endfacet"]
    return (eol.join(lines + [f"endsolid {name}"]) + eol).encode()


class Pictures(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory()
        cls.out = Path(cls.scratch.name) / "pictures"
        cls.out.mkdir()
        code, text, _ = run("--json", "--render", str(cls.out), "--size", "160x120", FIXTURES)
        cls.code, cls.reports = code, {Path(r["path"].replace("\\", "/")).name: r for r in json.loads(text)}

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    def picture(self, name):
        report = self.reports[name]
        self.assertEqual(report["rasteriser"], "hardware")
        return decode_png(self.out / (Path(name).stem + ".png"))

    def test_each_loaded_file_gets_its_picture_and_no_other_file_is_left(self):
        self.assertEqual(self.code, 1)  # the broken file and the text file fail
        loaded = sorted(Path(n).stem + ".png" for n, r in self.reports.items() if r["status"] == "loaded")
        self.assertEqual(sorted(p.name for p in self.out.iterdir()), loaded)
        self.assertIsNone(self.reports["broken.stl"]["picture"])
        self.assertEqual(self.reports["broken.stl"]["messages"], ["STL error: expected 'vertex' keyword; aborting"])
        for name in self.reports:
            if self.reports[name]["status"] != "loaded":
                continue
            width, height, rows = self.picture(name)
            self.assertEqual((width, height), (160, 120), name)
            corners = {rows[0][0], rows[0][-1], rows[-1][0], rows[-1][-1]}
            self.assertEqual(len(corners), 1, name)
            grey = corners.pop()
            self.assertTrue(grey[0] == grey[1] == grey[2], name)  # the work-space colour
            if name == "cafe_utf8.stl":
                continue  # its one face looks down, away from the eye
            x0, y0, x1, y1 = model_box(rows)
            self.assertTrue(x0 <= 80 <= x1 and y0 <= 60 <= y1, (name, x0, y0, x1, y1))

    def test_up_axis(self):
        # A slab 4 wide, 6 tall along Z: written by a Z-up exporter it stands; the same
        # triangles from a Y-up exporter lie flat.
        slab = box(4, 0.5, 6)
        with tempfile.TemporaryDirectory() as folder:
            folder = Path(folder)
            (folder / "standing.stl").write_bytes(ascii_file("OpenSCAD_Model", slab))
            (folder / "lying.stl").write_bytes(ascii_file("ASCII", slab, eol="\r\n", after_vertex="   "))
            code, text, _ = run("--json", "--render", ".", "standing.stl", "lying.stl", cwd=folder)
            self.assertEqual(code, 0)
            self.assertEqual([r["coordinateSpace"] for r in json.loads(text)], [2, 1])
            shapes = []
            for name in ("standing.png", "lying.png"):
                x0, y0, x1, y1 = model_box(decode_png(folder / name)[2])
                shapes.append((y1 - y0) / (x1 - x0))
        self.assertGreater(shapes[0], 1.2)
        self.assertLess(shapes[1], 0.9)

    def test_colours(self):
        with tempfile.TemporaryDirectory() as folder:
            folder = Path(folder)
            (folder / "pictures").mkdir()
            rgb_header = b"COLOR=\x80\x40\x20\xff,MATERIAL=\x80\x80\x80\xff"
            (folder / "rgb.stl").write_bytes(binary_cube(rgb_header, 0x001F))
            (folder / "bgr.stl").write_bytes(binary_cube(b"D:\\scans\\part.stl".ljust(69, b"_") + b"_COLOR", 0x7C00))
            # A material colour alone (no triangle colours): the model takes it.
            (folder / "green.stl").write_bytes(binary_cube(b"COLOR=\x20\xc0\x20\xff,MATERIAL=x", 0))
            code, _, _ = run("--render", "pictures", "rgb.stl", "bgr.stl", "green.stl", cwd=folder)
            self.assertEqual(code, 0)
            rgb, bgr, green = (decode_png(folder / "pictures" / n)[2] for n in ("rgb.png", "bgr.png", "green.png"))
        self.assertGreater(dominant(bgr, 0), 0.95)
        self.assertGreater(dominant(green, 1), 0.95)
        # The RGB file's material colour (80 40 20) tints its red triangles.
        self.assertGreater(dominant(rgb, 0), 0.95)
        self.assertLess(max(p[0] for row in rgb for p in row if p != rgb[0][0]), max(p[0] for row in bgr for p in row))


class Arguments(unittest.TestCase):
    def test_folder_argument_reads_its_files_in_name_order(self):
        code, text, _ = run("--json", ".")
        names = [Path(r["path"].replace("\\", "/")).name for r in json.loads(text)]
        self.assertEqual(names, sorted(os.listdir(FIXTURES), key=str.lower))
        self.assertEqual(code, 1)

    def test_usage_errors_name_what_was_wrong(self):
        with tempfile.TemporaryDirectory() as folder:
            (Path(folder) / "a_file").write_bytes(b"")
            for arguments, said in [(["--bogus", "cube_ascii.stl"], "unknown option --bogus"),
                                    (["--render", folder + "/missing", "cube_ascii.stl"], "needs an existing folder"),
                                    (["--render", folder + "/a_file", "cube_ascii.stl"], "needs an existing folder"),
                                    (["--render", folder, "--size", "0x5", "cube_ascii.stl"], "--size takes"),
                                    (["--render", folder, "--size", "16385x10", "cube_ascii.stl"], "--size takes"),
                                    (["--size", "10x10", "cube_ascii.stl"], "--size goes with --render")]:
                code, out, errors = run(*arguments)
                self.assertEqual(code, 2, arguments)
                self.assertEqual(out, "")
                self.assertTrue(errors.startswith("vantorel-info: ") and said in errors.splitlines()[0], errors)
                self.assertIn("usage: vantorel-info", errors)
            self.assertEqual(os.listdir(folder), ["a_file"])

    def test_a_picture_that_cannot_be_written_says_so_and_leaves_nothing(self):
        with tempfile.TemporaryDirectory() as folder:
            os.mkdir(os.path.join(folder, "cube_ascii.png~"))  # where the picture is written first
            code, text, _ = run("--json", "--render", folder, "cube_ascii.stl", "cube_binary.stl")
            self.assertEqual(code, 1)
            blocked, written = json.loads(text)
            self.assertIsNone(blocked["picture"])
            self.assertTrue(blocked["messages"][-1].strip(), "the system's text")
            self.assertEqual(sorted(os.listdir(folder)), ["cube_ascii.png~", "cube_binary.png"])
            self.assertIsNotNone(written["picture"])

    def test_a_file_that_cannot_be_read_says_so(self):
        code, text, _ = run("no_such_file.stl", "cube_ascii.stl")
        self.assertEqual(code, 1)
        report = text.split("\n\n")[0].splitlines()
        self.assertEqual(report[1:3], ["  format: not read", "  status: failed"])


if __name__ == "__main__":
    unittest.main(verbosity=1)

#!/usr/bin/env python3
"""Black-box tests of vantorel-info: runs the Windows program (through Wine where given) on the
fixture files and checks its JSON, its text, its exit status and the PNG pictures it renders.
Test names after the three paths pick the classes to run."""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

EMULATOR, PROGRAM, FIXTURES = sys.argv[1], sys.argv[2], sys.argv[3]
del sys.argv[1:4]

ZUP_WARNING = "STL warning: unknown coordinate space; assuming Z up"
UNIT_WARNING = "STL warning: unknown unit; assuming milimeters"
KEYS = ["path", "status", "format", "messages", "coordinateSpace", "metresPerUnit", "colourOrder",
        "materialColour", "modelName", "solids", "size", "centre", "dimensions", "mesh"]


def run(*arguments, cwd=FIXTURES):
    command = ([EMULATOR] if EMULATOR else []) + [PROGRAM, *arguments]
    # Wine's own diagnostics would mix into stderr.
    done = subprocess.run(command, cwd=cwd, capture_output=True, timeout=300, env=dict(os.environ, WINEDEBUG="-all"))
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8", "replace")


def reject_constant(name):
    raise ValueError(f"{name} is not JSON")


def load_json(*files, cwd=FIXTURES):
    code, out, _ = run("--json", *files, cwd=cwd)
    reports = json.loads(out, parse_constant=reject_constant)  # strict: no NaN or Infinity
    for report in reports:
        assert list(report) == KEYS, list(report)
    return code, reports


def scratch(cls):
    """A temporary folder that lives as long as the test class."""
    folder = tempfile.TemporaryDirectory()
    cls.addClassCleanup(folder.cleanup)
    return Path(folder.name)


CUBE = [  # the fixtures' 10 mm cube, wound outward
    ("0 0 0", "0 10 0", "10 10 0"), ("0 0 0", "10 10 0", "10 0 0"), ("0 0 10", "10 0 10", "10 10 10"),
    ("0 0 10", "10 10 10", "0 10 10"), ("0 0 0", "10 0 0", "10 0 10"), ("0 0 0", "10 0 10", "0 0 10"),
    ("0 10 0", "0 10 10", "10 10 10"), ("0 10 0", "10 10 10", "10 10 0"), ("0 0 0", "0 0 10", "0 10 10"),
    ("0 0 0", "0 10 10", "0 10 0"), ("10 0 0", "10 10 0", "10 10 10"), ("10 0 0", "10 10 10", "10 0 10")]
CUBE_POINTS = [[tuple(float(c) for c in v.split()) for v in t] for t in CUBE]

NON_FINITE = {"plus.stl": ("0 0 0", "Infinity 1 0"), "both.stl": ("-Infinity 0 0", "1e39 1 0"),
              "nan.stl": ("NaN NaN NaN", "1 NaN 0")}


class Fixtures(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        """Files made for the tests, beside copies of fixtures under other names."""
        cls.folder = scratch(cls)
        facet = "solid t\nfacet normal 0 0 1\nouter loop\nvertex {}\nvertex {}\nvertex 0 1 1\nendloop\nendfacet\nendsolid t\n"
        for name, (first, second) in NON_FINITE.items():
            (cls.folder / name).write_text(facet.format(first, second))
        (cls.folder / "empty.stl").write_bytes(b"")
        # The fixtures' 10 mm cube wound inside out, and with its +x face cut away and one
        # triangle of -x turned over.
        write = lambda name, triangles: (cls.folder / name).write_text("solid c\n" + "".join(
            "facet normal 0 0 0\nouter loop\n" + "".join(f"vertex {v}\n" for v in t) + "endloop\nendfacet\n" for t in triangles) + "endsolid c\n")
        write("inside_out.stl", [(a, c, b) for a, b, c in CUBE])
        opened = CUBE[:10]
        opened[8] = (opened[8][0], opened[8][2], opened[8][1])
        write("open.stl", opened)
        for fixture, name in [("inches.stl", "inches.stl"), ("cafe_utf8.stl", "mod\u00e8le \u00fc.stl"), ("cube_ascii.stl", "-dash.stl")]:
            shutil.copy(os.path.join(FIXTURES, fixture), cls.folder / name)

    def test_fields(self):
        code, (cube, inventor, two, blocks, rgb, bgr) = load_json(
            "cube_ascii.stl", "cube_binary.stl", "two_solids.stl", "two_blocks.stl", "coloured_rgb.stl", "coloured_bgr.stl")
        self.assertEqual(code, 0)
        self.assertEqual((cube["status"], cube["format"], inventor["format"]), ("loaded", "ascii", "binary"))
        self.assertEqual(cube["messages"], [ZUP_WARNING, UNIT_WARNING])
        self.assertEqual((cube["coordinateSpace"], cube["metresPerUnit"], cube["colourOrder"]), (2, 0.001, 0))
        self.assertEqual((inventor["coordinateSpace"], inventor["colourOrder"], inventor["modelName"]), (1, 1, ""))
        self.assertEqual(cube["solids"], [{"name": "cube", "triangles": 12, "hasNormals": True, "hasColours": False}])
        self.assertEqual([(s["name"], s["triangles"]) for s in two["solids"]], [("left", 4), ("right", 12)])
        self.assertEqual(([s["triangles"] for s in blocks["solids"]], blocks["modelName"]), ([2, 3], "multi"))
        self.assertEqual((rgb["colourOrder"], rgb["materialColour"], rgb["solids"][0]["hasColours"]), (2, 0xFF204080, True))
        self.assertEqual(bgr["colourOrder"], 3)

    def test_size_centre_and_dimensions(self):
        _, (inches, yup, zup, flat) = load_json("inches.stl", "fusion_y_up.stl", "box_z_up.stl", "flat_onshape.stl")
        self.assertEqual(inches["metresPerUnit"], 0.0254)
        self.assertEqual(inches["dimensions"], "25.40\u2009cm x 25.40\u2009cm; 25.40\u2009cm tall")
        self.assertEqual([round(v, 6) for v in inches["size"] + inches["centre"]], [0.254] * 3 + [0.127] * 3)
        # The same 10 x 20 x 30 mm box: its height is Y for a Y-up file and Z for a Z-up one.
        self.assertEqual(yup["dimensions"], "1.00\u2009cm x 3.00\u2009cm; 2.00\u2009cm tall")
        self.assertEqual(zup["dimensions"], "1.00\u2009cm x 2.00\u2009cm; 3.00\u2009cm tall")
        self.assertEqual([round(v, 6) for v in zup["size"]], [0.01, 0.02, 0.03])
        # A flat model gets the default box of two file units around the origin.
        self.assertEqual((flat["size"], flat["centre"]), ([0.002] * 3, [0, 0, 0]))
        self.assertEqual(flat["dimensions"], "2.00\u2009mm x 2.00\u2009mm; 2.00\u2009mm tall")

    def test_failures_keep_only_path_status_format_and_messages(self):
        code, (broken, missing, other) = load_json("broken.stl", "missing.stl", "not_stl.txt")
        self.assertEqual(code, 1)
        self.assertEqual((broken["status"], broken["format"]), ("failed", "ascii"))
        self.assertEqual(broken["messages"], ["STL error: expected 'vertex' keyword; aborting"])
        self.assertEqual((missing["format"], len(missing["messages"])), (None, 1))
        self.assertTrue(missing["messages"][0].strip(), "the system's text for the error")
        self.assertEqual((other["format"], other["messages"]), (None, []))
        for report in (broken, missing, other):
            self.assertTrue(all(report[k] is None for k in KEYS[4:]), report)

    def test_non_finite_extents(self):
        alone = [load_json(name, cwd=self.folder)[1][0] for name in NON_FINITE]
        code, batch = load_json("inches.stl", *NON_FINITE, "empty.stl", cwd=self.folder)
        _, text, _ = run("plus.stl", "both.stl", cwd=self.folder)
        self.assertEqual(code, 1)
        self.assertEqual(batch[1:-1], alone, "a file reports the same alone and in a batch")
        self.assertEqual((batch[-1]["status"], batch[-1]["format"], batch[-1]["messages"]), ("failed", None, []), "empty")
        self.assertEqual(batch[0]["size"], [0.254] * 3)
        plus, both, nan = alone
        for report in (plus, both):
            self.assertEqual((report["status"], report["size"]), ("loaded", [None, 0.001, 0.001]), report)
            self.assertEqual(report["centre"][0], None)
            self.assertTrue(report["dimensions"].startswith("Infinity\u2009km x 1.00\u2009mm"), report)
        self.assertEqual(nan["size"], [0.002] * 3, "NaN vertices leave the default box")
        self.assertIn("  size: [inf, 0.001, 0.001] m\n  centre: [inf, 0.0005, 0.0005] m\n", text)
        self.assertIn("  centre: [nan, 0.0005, 0.0005] m\n", text)

    def test_mesh_check(self):
        """Counts, area and volume in metres after the file's unit, in JSON and in the text."""
        names = ["cube_ascii.stl", "two_solids.stl", "inches.stl", "inside_out.stl", "open.stl"]
        for name in names[:3]:
            shutil.copy(os.path.join(FIXTURES, name), self.folder / name)
        _, reports = load_json(*names, cwd=self.folder)
        _, text, _ = run(*names, cwd=self.folder)
        cm = "\u2009cm"
        self.assertEqual([line[8:] for line in text.splitlines() if line.startswith("  mesh: ")], [
            f"closed, 1 shell, volume 1.00{cm}\u00b3, area 6.00{cm}\u00b2", f"8 open edges, 3 shells, area 8.00{cm}\u00b2",
            f"closed, 1 shell, volume 16,390.00{cm}\u00b3, area 3,871.00{cm}\u00b2",
            f"closed, inside out, 1 shell, volume 1.00{cm}\u00b3, area 6.00{cm}\u00b2",
            f"4 open edges, 3 misoriented edges, 1 shell, area 5.00{cm}\u00b2"])
        # Every key (the counts are the check's own tests'), and the unit as the decimal it stands for.
        cube, two, inches, inside_out, opened = (report["mesh"] for report in reports)
        self.assertAlmostEqual(opened.pop("area"), 5e-4, delta=5e-13)
        self.assertEqual(opened, {"vertices": 8, "degenerateTriangles": 0, "openEdges": 4, "nonManifoldEdges": 0,
                                  "misorientedEdges": 3, "shells": 1, "volume": None, "closed": False, "insideOut": False})
        self.assertEqual((two["openEdges"], two["shells"], cube["closed"], inside_out["insideOut"]), (8, 3, True, True))
        self.assertAlmostEqual(inches["area"], 0.387096, delta=0.387096e-9)
        self.assertAlmostEqual(inches["volume"], 0.016387064, delta=0.016387064e-9)

    def test_names_and_paths_beyond_ascii(self):
        code, (report,) = load_json("mod\u00e8le \u00fc.stl", cwd=self.folder)
        self.assertEqual(code, 0)
        self.assertEqual(report["path"], "mod\u00e8le \u00fc.stl")
        self.assertEqual(report["solids"][0]["name"], "caf\u00e9")

    def test_text_report(self):
        code, out, _ = run("coloured_rgb.stl", "two_solids.stl", "no_such_file.stl")
        self.assertEqual(code, 1)
        self.assertIn("coloured_rgb.stl\n  format: binary STL\n  status: loaded\n  STL info: written by Materialise Magics\n", out)
        self.assertIn("  unit: 0.001 m\n  colour order: RGB\n  material colour: 0xFF204080\n", out)
        self.assertIn('  solid 2 "right": 12 triangles, normals\n', out)
        self.assertIn("no_such_file.stl\n  format: not read\n  status: failed\n", out)

    def test_help_and_names_after_double_dash(self):
        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        self.assertTrue(out.startswith("usage: vantorel-info"))
        code, reports = load_json("--", "-dash.stl", cwd=self.folder)
        self.assertEqual((code, [r["path"] for r in reports]), (0, ["-dash.stl"]), "after --, names are files")


def decode_png(path):
    """(width, height, rows of (r, g, b)) of a PNG, decoded by ImageMagick (libpng checks every chunk's CRC)."""
    magick = lambda *arguments: subprocess.run(arguments, capture_output=True, check=True).stdout
    width, height = map(int, magick("identify", "-format", "%w %h", str(path)).split())
    raw = magick("convert", str(path), "-depth", "8", "rgb:-")
    return width, height, [[tuple(raw[3 * (y * width + x):3 * (y * width + x) + 3]) for x in range(width)] for y in range(height)]


def model_pixels(rows):
    """(x, y, (r, g, b)) of each pixel that is not the background colour (the top-left corner's)."""
    return [(x, y, p) for y, row in enumerate(rows) for x, p in enumerate(row) if p != rows[0][0]]


def model_box(rows):
    """The box (x0, y0, x1, y1) of the model's pixels."""
    xs, ys, _ = zip(*model_pixels(rows))
    return min(xs), min(ys), max(xs), max(ys)


def dominant(rows, channel):
    """The share of model pixels whose `channel` is more than 1.5 times each other one."""
    model = [p for _, _, p in model_pixels(rows)]
    strong = [p for p in model if all(p[channel] > 1.5 * p[k] for k in range(3) if k != channel)]
    return len(strong) / max(len(model), 1)


def binary_cube(header, word):
    """A 10 mm cube whose triangles all carry the attribute `word`."""
    data = header.ljust(80, b"\0")[:80] + struct.pack("<I", 12)
    for triangle in CUBE_POINTS:
        data += struct.pack("<12fH", 0, 0, 0, *[v for vertex in triangle for v in vertex], word)
    return data


class Pictures(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.out, cls.made = scratch(cls), scratch(cls)  # the fixtures' pictures; files made by a test
        code, text, _ = run("--json", "--render", str(cls.out), "--size", "160x120", FIXTURES)
        cls.code, cls.reports = code, {Path(r["path"].replace("\\", "/")).name: r for r in json.loads(text)}

    def test_each_loaded_file_gets_its_picture_and_no_other_file_is_left(self):
        self.assertEqual(self.code, 1)  # the broken file and the text file fail
        self.assertEqual(list(self.reports), sorted(os.listdir(FIXTURES), key=str.lower), "a folder's files in name order")
        loaded = sorted(Path(n).stem + ".png" for n, r in self.reports.items() if r["status"] == "loaded")
        self.assertEqual(sorted(p.name for p in self.out.iterdir()), loaded)
        self.assertIsNone(self.reports["broken.stl"]["picture"])
        for name, report in self.reports.items():
            if report["status"] != "loaded":
                continue
            self.assertEqual(report["rasteriser"], "hardware")
            width, height, rows = decode_png(self.out / (Path(name).stem + ".png"))
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
        # The same box, 30 along Z: written by a Z-up exporter it stands; from a Y-up one it lies.
        shapes = []
        for name in ("box_z_up.png", "fusion_y_up.png"):
            x0, y0, x1, y1 = model_box(decode_png(self.out / name)[2])
            shapes.append((y1 - y0) / (x1 - x0))
        self.assertGreater(shapes[0], 1.2)
        self.assertGreater(shapes[0], 1.3 * shapes[1])

    def test_colours(self):
        folder = self.made
        rgb_header = b"COLOR=\x80\x40\x20\xff,MATERIAL=\x80\x80\x80\xff"
        (folder / "rgb.stl").write_bytes(binary_cube(rgb_header, 0x001F))
        (folder / "bgr.stl").write_bytes(binary_cube(b"D:\\scans\\part.stl".ljust(69, b"_") + b"_COLOR", 0x7C00))
        code, _, _ = run("--render", ".", "rgb.stl", "bgr.stl", cwd=folder)
        self.assertEqual(code, 0)
        rgb, bgr = (decode_png(folder / n)[2] for n in ("rgb.png", "bgr.png"))
        self.assertGreater(dominant(bgr, 0), 0.95)
        # The RGB file's material colour (80 40 20) tints its red triangles.
        self.assertGreater(dominant(rgb, 0), 0.95)
        self.assertLess(max(p[0] for _, _, p in model_pixels(rgb)), max(p[0] for row in bgr for p in row))


class Arguments(unittest.TestCase):
    def test_usage_errors_name_what_was_wrong(self):
        with tempfile.TemporaryDirectory() as folder:
            (Path(folder) / "a_file").write_bytes(b"")
            for arguments, said in [([], "no file"), (["--json"], "no file"), (["--frobnicate", "cube_ascii.stl"], "--frobnicate"),
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


if __name__ == "__main__":
    unittest.main(verbosity=1)

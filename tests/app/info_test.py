#!/usr/bin/env python3
"""Black-box tests of vantorel-info: runs the Windows program (through Wine where given)
on the fixture files and checks its JSON, its text and its exit status."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

EMULATOR, PROGRAM, FIXTURES = sys.argv[1], sys.argv[2], sys.argv[3]
del sys.argv[1:4]

ZUP_WARNING = "STL warning: unknown coordinate space; assuming Z up"
UNIT_WARNING = "STL warning: unknown unit; assuming milimeters"
KEYS = ["path", "status", "format", "messages", "coordinateSpace", "metresPerUnit", "colourOrder",
        "materialColour", "modelName", "solids", "size", "centre", "dimensions"]


def run(*arguments, cwd=FIXTURES):
    command = ([EMULATOR] if EMULATOR else []) + [PROGRAM, *arguments]
    environment = dict(os.environ, WINEDEBUG="-all")  # Wine's own diagnostics would mix into stderr
    done = subprocess.run(command, cwd=cwd, capture_output=True, timeout=120, env=environment)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8", "replace")


def reject_constant(name):
    raise ValueError(f"{name} is not JSON")


def load_json(*files, cwd=FIXTURES):
    code, out, _ = run("--json", *files, cwd=cwd)
    reports = json.loads(out, parse_constant=reject_constant)  # strict: no NaN or Infinity
    for report in reports:
        assert list(report) == KEYS, list(report)
    return code, reports


class Fixtures(unittest.TestCase):
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
        facet = "solid t\nfacet normal 0 0 1\nouter loop\nvertex {}\nvertex {}\nvertex 0 1 1\nendloop\nendfacet\nendsolid t\n"
        files = {"plus.stl": ("0 0 0", "Infinity 1 0"), "minus.stl": ("-Infinity 0 0", "1 1 0"),
                 "both.stl": ("-Infinity 0 0", "Infinity 1 0"), "overflow.stl": ("0 0 0", "1e39 1 0"),
                 "nan.stl": ("NaN NaN NaN", "1 NaN 0")}
        with tempfile.TemporaryDirectory() as folder:
            for name, (first, second) in files.items():
                with open(os.path.join(folder, name), "w") as f:
                    f.write(facet.format(first, second))
            shutil.copy(os.path.join(FIXTURES, "inches.stl"), folder)
            alone = [load_json(name, cwd=folder)[1][0] for name in files]
            code, batch = load_json("inches.stl", *files, "missing.stl", cwd=folder)
            _, text, _ = run("plus.stl", "both.stl", cwd=folder)
        self.assertEqual(code, 1)
        self.assertEqual(batch[1:-1], alone, "a file reports the same alone and in a batch")
        self.assertEqual(batch[0]["size"], [0.254] * 3)
        plus, minus, both, overflow, nan = alone
        for report in (plus, minus, both, overflow):
            self.assertEqual((report["status"], report["size"]), ("loaded", [None, 0.001, 0.001]), report)
            self.assertEqual(report["centre"][0], None)
            self.assertTrue(report["dimensions"].startswith("Infinity\u2009km x 1.00\u2009mm"), report)
        self.assertEqual(nan["size"], [0.002] * 3, "NaN vertices leave the default box")
        self.assertIn("  size: [inf, 0.001, 0.001] m\n  centre: [inf, 0.0005, 0.0005] m\n", text)
        self.assertIn("  centre: [nan, 0.0005, 0.0005] m\n", text)

    def test_path_and_file_faults(self):
        with tempfile.TemporaryDirectory() as folder:
            open(os.path.join(folder, "empty.stl"), "wb").close()
            long_name = "x" * 250 + ".stl"
            deep = os.path.join(folder, "d" * 20)
            os.mkdir(deep)
            shutil.copy(os.path.join(FIXTURES, "cube_ascii.stl"), os.path.join(deep, long_name))
            long_path = "d" * 20 + "\\" + long_name
            code, (empty, deep_report) = load_json("empty.stl", long_path, cwd=folder)
        self.assertEqual((code, empty["status"], empty["format"], empty["messages"]), (1, "failed", None, []))
        # A path beyond MAX_PATH either loads or fails with the system's text; it never crashes.
        self.assertIn(deep_report["status"], ("loaded", "failed"))
        if deep_report["status"] == "failed":
            self.assertEqual(len(deep_report["messages"]), 1)

    def test_names_and_paths_beyond_ascii(self):
        with tempfile.TemporaryDirectory() as folder:
            shutil.copy(os.path.join(FIXTURES, "cafe_utf8.stl"), os.path.join(folder, "mod\u00e8le \u00fc.stl"))
            code, (report,) = load_json("mod\u00e8le \u00fc.stl", cwd=folder)
        self.assertEqual(code, 0)
        self.assertEqual(report["path"], "mod\u00e8le \u00fc.stl")
        self.assertEqual(report["solids"][0]["name"], "caf\u00e9")

    def test_text_report(self):
        code, out, _ = run("coloured_rgb.stl", "two_solids.stl")
        self.assertEqual(code, 0)
        self.assertIn("coloured_rgb.stl\n  format: binary STL\n  status: loaded\n  STL info: written by Materialise Magics\n", out)
        self.assertIn("  unit: 0.001 m\n  colour order: RGB\n  material colour: 0xFF204080\n", out)
        self.assertIn('  solid 2 "right": 12 triangles, normals\n', out)

    def test_usage(self):
        for arguments in ([], ["--json"], ["--frobnicate", "cube_ascii.stl"]):
            code, out, err = run(*arguments)
            self.assertEqual((code, out), (2, ""), arguments)
            self.assertTrue(err.startswith("vantorel-info: ") and "\nusage: vantorel-info" in err, arguments)
        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        self.assertTrue(out.startswith("usage: vantorel-info"))
        with tempfile.TemporaryDirectory() as folder:
            shutil.copy(os.path.join(FIXTURES, "cube_ascii.stl"), os.path.join(folder, "-dash.stl"))
            code, reports = load_json("--", "-dash.stl", cwd=folder)
        self.assertEqual((code, [r["path"] for r in reports]), (0, ["-dash.stl"]), "after --, names are files")


if __name__ == "__main__":
    unittest.main(verbosity=1)

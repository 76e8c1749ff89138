#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora (fuzz/corpus/TARGET), small and made here: the
test fixtures and a few dialect variants for the parse, number spellings, file texts in
several encodings, and doubles with digit counts; and a regression seed of the text target
(a file text longer than the translator's 65,535-unit buffer).

With --large FOLDER it writes instead seeds of about 500 KB for every target into
FOLDER/TARGET (tools/fuzz.sh does, into the build tree): inputs as large as real files,
which the committed corpus keeps out of the test command's short runs."""
import math
import random
import struct
import sys
from pathlib import Path

root = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(root / "tools"))
import make_fixtures  # noqa: E402


def write(target, name, data, base=root / "fuzz" / "corpus"):
    folder = Path(base) / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def torus(count):
    """`count` triangles of a torus, as CAD exporters write them."""
    triangles = []
    steps = max(2, int(math.sqrt(count / 2)))
    def point(i, j):
        u, v = 2 * math.pi * i / steps, 2 * math.pi * j / steps
        return ((30 + 10 * math.cos(v)) * math.cos(u), (30 + 10 * math.cos(v)) * math.sin(u), 10 * math.sin(v))
    for i in range(steps):
        for j in range(steps):
            a, b, c, d = point(i, j), point(i + 1, j), point(i + 1, j + 1), point(i, j + 1)
            triangles += [((0, 0, 1), a, b, c), ((0, 0, 1), a, c, d)]
    return triangles[:count]


def large(base, size=500 * 1024):
    rng = random.Random(20261206)
    text = make_fixtures.ascii_solid("torus", torus(size // 250)).encode()[:size]
    write("parse", "ascii_torus.stl", text, base)
    write("parse", "binary_torus.stl", make_fixtures.binary(b"STLB ASM 218", [(torus(size // 50), [0])]), base)
    write("text", "ascii_stl", text, base)
    write("mesh", "binary_torus.stl", make_fixtures.binary(b"STLB ASM 218", [(torus(size // 50), [0])]), base)
    write("text", "utf8", ("caf\u00e9 \u041f\u0440\u0438\u0432\u0435\u0442 \U0001F600 " * (size // 40)).encode()[:size], base)
    numbers = " ".join(rng.choice(["%e" % rng.uniform(-1e6, 1e6), "%.17g" % rng.uniform(-1, 1), "-1.#IND00", "NaN",
                                   "-Infinity", "1,5"]) for _ in range(size // 12))
    write("number", "numbers", numbers.encode()[:size], base)
    write("number", "digits", b"9" * size, base)
    write("scanner_diff", "numbers", numbers.encode()[:size], base)
    write("scanner_diff", "ascii_stl", text, base)
    write("digits", "records", bytes(rng.getrandbits(8) for _ in range(size // 9 * 9)), base)


def main():
    fixtures = root / "tests" / "fixtures"
    make_fixtures.main(fixtures)
    for path in sorted(fixtures.iterdir()):
        write("parse", path.name, path.read_bytes())
        write("mesh", path.name, path.read_bytes())
    square = [((0, 0, 1), (0, 0, 0), (1, 0, 0), (0, 1, 0))]
    variants = {
        "end_solid.stl": "solid x\r\nfacet normal 0 0 1\r\nouter loop\r\nvertex 0 0 0\r\nvertex 1 0 0\r\nvertex 0 1 0\r\nendloop\r\nendfacet\r\nend solid\r\n",
        "no_loop.stl": "solid\nfacet normal 0 0 1\nendfacet\nfacet normal 1,5 -2e3 +.5\nendfacet\nendsolid\n",
        "odd_numbers.stl": "solid s\nfacet normal -1.#IND00 NaN -Infinity\nouter loop\nvertex nan 1e400 -0\nvertex 1e-400 0e400 1\n"
                        "vertex 12345678901234567890 1,5 -.5\nendloop\nendfacet\nendsolid s\n",
        "spaceclaim.stl": make_fixtures.ascii_solid('"P<stl unit=MM>"', square),
    }
    for name, text in variants.items():
        write("parse", name, text.encode())
    write("parse", "two_blocks_tail.stl",
          make_fixtures.binary(b"ArchiCAD_STL_Unit=MM_Scale=100 COLOR=\x01\x02\x03\x04", [(square, [0x801F])]) + b"\0\0\0\0abc")

    for i, number in enumerate(["1.5", "-2,25e-3", ".5", "5.", "-1.#IND00 ", "NaN", "nano", "-Infinity", "1e+",
                                "12345678901234567890", "0e400", "1e99999999", "+-1", "1 2 3", "-0.0e-0"]):
        write("number", f"n{i:02}", number.encode())
    # The old and the new scanner side by side: the same spellings, and runs of digits that
    # reach the mantissa's cap, exponents beyond the tables, as CAD exporters and odd files write them.
    for i, number in enumerate(["1.5", "-2,25e-3", ".5", "5.", "-1.#IND00 ", "NaN", "nano", "-Infinity", "1e+",
                                "12345678901234567890", "0e400", "1e99999999", "+-1", "1 2 3", "-0.0e-0",
                                "  facet normal 2.355487e-01 -9.718619e-01 0.000000e+00\n",
                                "-1.2345678901234567890123e-17 99999999.99999999 0.00000000000000000000012345678",
                                "9999999999999999.9 99999999999999999 12345678.123456789e+05 1234567,1234567",
                                "123456789.123456789012 1234567890.12345678901234 999999999.99999999999",
                                "0000000001234567890.1234567890123 00000000.000000001234567890123456789"]):
        write("scanner_diff", f"s{i:02}", number.encode())
    # Spellings that end the input at each step (a seed of its own each: the end is a case of
    # its own), then every spelling and digit run in one text, numbers as printf writes them.
    endings = ["-1.#IND00", "Infinit", "INFINITY", "+Infinityx", "+nan", "NAN", "-NaN", "+1.#IND00", "-0e5", "-.0", "1e400", "-1e400",
               "1e-400", "1e-46", "1e999999999", "1e-999999999", "-", "+", ".", "1e", "1e-", "-,", "#", "x1", "\n1", "e5",
               "-e", ",x", "-.e", "1e+x", "1ex", "1.5.5", "-1-2", "007", "1,5", "9" * 1000 + "e-990"]
    for i, number in enumerate(endings):
        write("scanner_diff", f"e{i:02}", number.encode())
    runs = [run for length in range(1, 41) for digit in "019" for run in
            [digit * length, "0." + digit * length, f"{digit * length},{digit * length}e-7",
             "0" * length + "123456789." + digit * length, digit * length + "." + "9" * length]]
    formats = ["%e", "%.9e", "%E", "%f", "%.12f", "%g", "%.17g", "%.3f"]
    rng = random.Random(4000)
    printed = [formats[i % 8] % (rng.choice([-1, 1]) * math.ldexp(rng.random(), rng.randrange(-70, 70))) for i in range(4000)]
    write("scanner_diff", "spellings", " ".join(endings + runs + printed).encode())
    write("scanner_diff", "nines", b"9" * 100000)

    for i, text in enumerate(["caf\u00e9".encode(), "\u041f\u0440\u0438\u0432\u0435\u0442".encode("cp1251"),
                              "plain ascii".encode(), b"\xc3", b"\xe2\x82\xac and \xc0\xc1", b"\x00\x01\x1f\xff"]):
        write("text", f"t{i}", text)

    # Found by a run on large seeds: an exporter name or error text longer than the composed
    # line's buffer is still copied whole.
    write("text", "long_stl_text", make_fixtures.ascii_solid("long", torus(400)).encode())

    for i, (value, count) in enumerate([(1.0625, 4), (12345.0, 4), (0.1, 17), (5e-324, 4), (1.7976931348623157e308, 9),
                                        (123456789.0625, 3), (9999.5, 4), (1e22, 1)]):
        write("digits", f"d{i}", struct.pack("<dB", value, count - 1))
    # Four digits of the hard cases: powers of two and ten and their neighbours, subnormals and
    # the smallest normals, integers and dyadic fractions (exact ties such as 1.0625).
    cases = lambda values: b"".join(struct.pack("<dB", v, 3) for v in values if v != 0 and math.isfinite(v))
    powers = [math.ldexp(1.0, e) * m for e in range(-1074, 1024) for m in (1.0, math.nextafter(1.0, 2.0))]
    tens = [f(float(f"1e{e}")) for e in range(-308, 309) for f in (lambda p: p, lambda p: math.nextafter(p, 0), lambda p: math.nextafter(p, math.inf))]
    rng = random.Random(20261205)
    write("digits", "powers", cases(powers + tens))
    write("digits", "subnormals", cases(struct.unpack("<d", struct.pack("<Q", rng.getrandbits(53)))[0] for _ in range(8000)))
    write("digits", "ties", cases([float(rng.randrange(100000000)) for _ in range(4000)] +
                                  [math.ldexp(rng.randrange(1000000), -rng.randrange(30)) for _ in range(4000)]))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--large":
        large(sys.argv[2])
    else:
        main()

#!/usr/bin/env python3
"""End to end, as the user waits: the viewer's benchmark build (vantorel_stamped.exe) opened
on each file, several times, each in a fresh process; the time from the process's entry to
the first presented frame of the model, by stage; the whole process from launch to exit
(under Wine that includes Wine's own start); F3D on the same files in the same run; and the
steps to the next file of a folder. Called by tools/bench_viewer.sh."""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

STAGES = ["entry", "window", "load", "parsed", "device", "vertices", "uploaded", "frame"]


def read_stamps(path):
    lines = []
    if os.path.exists(path):
        for line in open(path):
            fields = line.split()
            if fields and fields[0] == "stamps":
                values = [int(v) for v in fields[1:]]
                frequency, step = values[0], values[1]
                stamps = dict(zip(STAGES, values[2:]))
                lines.append((frequency, step, stamps))
    return lines


def ms(frequency, later, earlier):
    return (later - earlier) * 1000.0 / frequency


def run_viewer(wine, viewer, path, steps=0):
    fd, stamps = tempfile.mkstemp(suffix=".txt", dir="/tmp")
    os.close(fd)
    os.unlink(stamps)
    env = dict(os.environ, VANTOREL_STAMPS="Z:" + stamps.replace("/", "\\"), VANTOREL_STEPS=str(steps))
    # Wine's performance counter is CLOCK_MONOTONIC_RAW in 100 ns units: the launch and the
    # exit read on the same clock place the program's own stamps within the whole process.
    start = time.clock_gettime(time.CLOCK_MONOTONIC_RAW)
    subprocess.run([wine, viewer, "Z:" + path.replace("/", "\\")], env=env, timeout=120, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    stop = time.clock_gettime(time.CLOCK_MONOTONIC_RAW)
    lines = read_stamps(stamps)
    if os.path.exists(stamps):
        os.unlink(stamps)
    return (start * 1000.0, stop * 1000.0), lines


def run_f3d(path, image):
    start = time.monotonic()
    subprocess.run(["xvfb-run", "-a", "f3d", "--output=" + image, path], timeout=120,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return (time.monotonic() - start) * 1000.0


def stage_row(frequency, s):
    """Stages in ms: window (entry to window), parse (load start to parsed), vertices (parsed to
    vertices written), device wait (vertices written to device ready: the device is made
    alongside the parse and the vertices), upload, first frame, and entry to the first frame."""
    return {
        "window": ms(frequency, s["window"], s["entry"]),
        "to load": ms(frequency, s["load"], s["window"]),
        "parse": ms(frequency, s["parsed"], s["load"]),
        "device wait": ms(frequency, s["device"], s["vertices"]),
        "device from entry": ms(frequency, s["device"], s["entry"]),
        "vertices": ms(frequency, s["vertices"], s["parsed"]),
        "upload": ms(frequency, s["uploaded"], s["device"]),
        "frame": ms(frequency, s["frame"], s["uploaded"]),
        "entry to frame": ms(frequency, s["frame"], s["entry"]),
    }


def median_rows(rows):
    return {k: statistics.median(r[k] for r in rows) for k in rows[0]}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine", required=True)
    parser.add_argument("--viewer", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--step-folder")
    parser.add_argument("--pipeline-ms", type=float, help="the load pipeline's time for a file of the step folder")
    parser.add_argument("files", nargs="+")
    a = parser.parse_args()

    image = tempfile.mktemp(suffix=".png", dir="/tmp")
    print("== End to end: entry to the first presented frame of the model, by stage (ms, median of %d fresh processes)" % a.runs)
    print("   whole = launch to exit of the process (under Wine: Wine's start and end included); F3D = `xvfb-run -a f3d --output=x.png FILE`, whole process")
    print("   dev.wait = vertices written to device ready (the device is made on another thread from the load's start);")
    print("   dev@entry = device ready, from entry; -dev = entry>frame less dev.wait; start = launch to entry and")
    print("   end = first frame to exit (Wine's own, with the stamped build's immediate exit)")
    header = ["file", "window", "parse", "dev.wait", "dev@entry", "vertices", "upload", "frame", "entry>frame", "-dev",
              "whole", "start", "end", "F3D", "frame/F3D", "whole/F3D"]
    print(("%-16s" + " %9s" * (len(header) - 1)) % tuple(header))
    for path in a.files:
        rows, wholes = [], []
        for _ in range(a.runs):
            (launch, ended), lines = run_viewer(a.wine, a.viewer, path)
            if not lines:
                print("%-16s the viewer wrote no stamps" % os.path.basename(path))
                break
            frequency, _, s = lines[0]
            row = stage_row(frequency, s)
            row["start"] = s["entry"] * 1000.0 / frequency - launch
            row["end"] = ended - s["frame"] * 1000.0 / frequency
            rows.append(row)
            wholes.append(ended - launch)
        if not rows:
            continue
        f3d = statistics.median(run_f3d(path, image) for _ in range(a.runs))
        m = median_rows(rows)
        whole = statistics.median(wholes)
        print(("%-16s" + " %9.1f" * 13 + " %9.2f %9.2f") % (
            os.path.basename(path), m["window"], m["parse"], m["device wait"], m["device from entry"], m["vertices"],
            m["upload"], m["frame"], m["entry to frame"], m["entry to frame"] - m["device wait"], whole,
            m["start"], m["end"], f3d,
            m["entry to frame"] / f3d, whole / f3d))
    if os.path.exists(image):
        os.unlink(image)

    if a.step_folder:
        files = sorted(os.path.join(a.step_folder, f) for f in os.listdir(a.step_folder) if f.endswith(".stl"))
        _, lines = run_viewer(a.wine, a.viewer, files[0], steps=len(files) - 1)
        print()
        print("== Stepping: Next File to the new file's first frame, %s (%d files)" % (a.step_folder, len(files)))
        for i, (frequency, step, s) in enumerate(lines[1:], 1):
            r = {"parse": ms(frequency, s["parsed"], s["load"]), "vertices": ms(frequency, s["vertices"], s["parsed"]),
                 "upload": ms(frequency, s["uploaded"], s["device"]), "frame": ms(frequency, s["frame"], s["uploaded"])}
            total = ms(frequency, s["frame"], step)
            line = "step %d: %.1f ms (to load %.1f, parse %.1f, vertices %.1f, upload %.1f, frame %.1f)" % (
                i, total, ms(frequency, s["load"], step), r["parse"], r["vertices"], r["upload"], r["frame"])
            if a.pipeline_ms:
                line += "; x%.2f the load pipeline (%.1f ms)" % (total / a.pipeline_ms, a.pipeline_ms)
            print(line)
        if len(lines) < len(files):
            print("stepping: %d of %d files showed a frame" % (len(lines), len(files)))


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env bash
# Cuts a large file short from outside while vantorel-info reads it, again and again at
# different moments of the read, and prints what each run made of it. Each run must end with
# valid JSON, exit status 1, the large file "failed" (with the system's text when the cut
# came during the read, or a reader's message when it came before) or "loaded" (when it came
# after), and every other file loaded; a fault of the program ends the trial.
#
# usage: tools/cut_short_trial.sh [RUNS] [MEGABYTES] [SHARE]
# (defaults: 20 runs, a 500 MB file, the cuts spread over the first half of an uncut run)
# Needs the Windows build (tools/test.sh or cmake --build build/windows --target vantorel-info).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTOREL_BUILD:-$root/build}
source "$root/tools/wine_session.sh"
python3 - "$wine" "$build/windows/vantorel-info.exe" "$root/tests/fixtures" "${1:-20}" "${2:-500}" "${3:-0.5}" <<'PYTHON'
import json, os, shutil, struct, subprocess, sys, tempfile, time

wine, program, fixtures, runs, megabytes, share = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5]), float(sys.argv[6])
# Memory-backed when there is room: twenty copies of the file are written.
folder = tempfile.mkdtemp(prefix="vantorel-cut-", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
pristine = os.path.join(folder, "pristine.bin")
work = os.path.join(folder, "files")
os.mkdir(work)
shutil.copy(os.path.join(fixtures, "cube_ascii.stl"), os.path.join(work, "a_cube.stl"))
shutil.copy(os.path.join(fixtures, "two_solids.stl"), os.path.join(work, "c_two.stl"))
large = os.path.join(work, "b_large.stl")
block = b"".join(struct.pack("<12fH", 0, 0, 1, i % 1000, 0, 0, i % 1000 + 1, 0, 0, i % 1000, 1, i // 1000, 0)
                 for i in range(20000))
with open(pristine, "wb") as out:
    out.write(b"cut short trial".ljust(80, b" ") + struct.pack("<I", 20000 * megabytes))
    for _ in range(megabytes):
        out.write(block)

def run(cut_after):
    shutil.copyfile(pristine, large)
    start = time.monotonic()
    process = subprocess.Popen([wine, program, "--json", "Z:" + work.replace("/", "\\")], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, env=dict(os.environ, WINEDEBUG="-all"))
    if cut_after is not None:
        time.sleep(cut_after)
        os.truncate(large, 1 << 20)
    out, err = process.communicate(timeout=600)
    return process.returncode, out, err, time.monotonic() - start

code, out, _, whole = run(None)
print(f"uncut: exit {code}, {whole:.2f} s; {megabytes} MB file")
faults = 0
for i in range(runs):
    moment = whole * share * (i + 0.5) / runs
    code, out, err, _ = run(moment)
    try:
        reports = {os.path.basename(r["path"].replace("\\", "/")): r for r in json.loads(out)}
        cut = reports["b_large.stl"]
        others = all(reports[name]["status"] == "loaded" for name in ("a_cube.stl", "c_two.stl"))
        outcome = f'{cut["status"]}: {" | ".join(cut["messages"]) or "-"}'
        good = code == (1 if cut["status"] == "failed" else 0) and others
    except (ValueError, KeyError) as problem:
        outcome, good = f"no valid report ({problem}); stderr: {err.decode(errors='replace')[-300:]}", False
    faults += not good
    print(f"run {i + 1:2}: cut at {moment:5.2f} s, exit {code}, {'ok' if good else 'FAULT'}: {outcome}")
shutil.rmtree(folder)
print(f"{runs - faults} of {runs} runs ended as they should")
sys.exit(1 if faults else 0)
PYTHON

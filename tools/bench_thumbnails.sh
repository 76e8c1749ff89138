#!/usr/bin/env bash
# Thumbnails through the shell extension as Explorer asks for them (bench/thumbnail_bench:
# the DLL's class object, a stream per file, GetThumbnail), side by side with F3D's
# --output per file:
# - 100 small files (the fixtures) in one host process, against F3D on ten of them;
# - the largest files read whole (a 256,000-triangle binary torus, a 31 MiB ASCII one);
# - sampled files: a 2 GB binary torus (40 million triangles), the same torus with a rough
#   surface (make_big_tori.py's bumps, harsher than a scan's), a 1 GB ASCII torus, and a
#   real scan, the Stanford bunny (69,451 triangles, from the npm package stl-models),
#   refined by refine_stl.py to 17.8 million triangles (889 MB binary) and 4.4 million
#   (1 GB ASCII) and to 277,804 triangles (just over what is read whole); the bunny itself
#   (binary and ASCII) is read whole.
# For each: time and peak committed private memory of the host, with the file in the page
# cache (warm) and dropped from it (cold: posix_fadvise DONTNEED on the file); where the
# time went and the reads the sample took (--split: the DLL's picture code linked into the
# host); and the silhouette's agreement with the picture of the same shape read whole (the
# 256,000-triangle torus; for the rough one 1.9 million triangles with the same bumps; the
# bunny itself).
# The big files are written under /tmp and deleted at the end (KEEP=1 keeps them).
#   tools/bench_thumbnails.sh [SIDE]      (pixels a side, default 256)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTOREL_BUILD:-$root/build}
scratch=${STLBENCH:-/tmp/stlbench}/thumbnails
side=${1:-256}
"$root/tools/bootstrap.sh" f3d python3-numpy || exit 1
# npm fetches the scan; Node's own packages carry it where Debian's would clash.
command -v npm >/dev/null || "$root/tools/bootstrap.sh" npm || exit 1
source "$root/tools/wine_session.sh"
cmake --build "$build/windows" --target vantorel-shell thumbnail_bench >/dev/null ||
    { echo "bench_thumbnails.sh: build first (tools/test.sh)"; exit 1; }
host() { "$wine" "$build/windows/bench/thumbnail_bench.exe" "$build/windows/vantorel-shell.dll" "$side" "$scratch/out" "$@"; }
python=/usr/bin/python3
mkdir -p "$scratch/small" "$scratch/out" "$scratch/f3d"
torus() { [ -f "$scratch/$4" ] || $python "$root/tools/make_big_tori.py" "$1" "$2" "$3" "$scratch/$4" "${5:-0}"; }
torus binary 640 200 torus_256k.stl
torus binary 1600 600 rough_ref.stl 1
torus binary 8000 2500 torus_2g.stl
torus binary 8000 2500 rough_2g.stl 1
torus ascii 2550 1000 torus_1g_ascii.stl
torus ascii 470 170 torus_ascii_whole.stl
# The scan: npm's stl-models package carries the Stanford bunny as binary and ASCII STL.
if [ ! -f "$scratch/bunny.stl" ]; then
    (cd "$scratch" && npm pack --silent stl-models@0.12.0 >/dev/null && tar xzf stl-models-0.12.0.tgz &&
        cp package/objects/bunny.bin.stl bunny.stl && cp package/objects/bunny.ascii.stl bunny_ascii.stl &&
        rm -rf package stl-models-0.12.0.tgz) || echo "bench_thumbnails.sh: no scan (npm pack stl-models failed)"
fi
scan() { [ -f "$scratch/$3" ] || [ ! -f "$scratch/bunny.stl" ] || $python "$root/tools/refine_stl.py" "$1" "$2" "$scratch/bunny.stl" "$scratch/$3"; }
scan binary 1 bunny_x4.stl
scan binary 4 bunny_18m.stl
scan ascii 3 bunny_1g_ascii.stl
fixtures=("$root"/tests/fixtures/*.stl)
for i in $(seq -w 0 99); do
    cp "${fixtures[$((10#$i % ${#fixtures[@]}))]}" "$scratch/small/model_$i.stl"
done
# Drops one file from the page cache, so that its next read comes from the disk.
uncache() { $python -c 'import os, sys; fd = os.open(sys.argv[1], os.O_RDONLY); os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)' "$1"; }
# Silhouette agreement of a picture with a reference: the share of pixels on which both
# are transparent (alpha below one half) or both are not.
agreement() {
    $python - "$side" "$scratch/out/$1" "$scratch/out/$2.bgra" <<'EOF'
import sys
import numpy as np
side = int(sys.argv[1])
masks = [np.fromfile(p, dtype=np.uint8).reshape(side, side, 4)[:, :, 3] >= 128 for p in sys.argv[2:]]
print("%.2f%%" % (100.0 * (masks[0] == masks[1]).mean()))
EOF
}

echo "== thumbnails of ${side}x$side, $(date -u +%Y-%m-%d), $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
# The references, read whole (a budget larger than they are).
host --split=4000000,4,400000000,2048,1 "$scratch/small/model_00.stl" "$scratch/torus_256k.stl" "$scratch/rough_ref.stl" \
    "$scratch/bunny.stl" | sed -n '2,4s/^/reference  /p'
mv "$scratch/out/torus_256k.stl.bgra" "$scratch/out/torus.reference"
mv "$scratch/out/rough_ref.stl.bgra" "$scratch/out/rough.reference"
mv "$scratch/out/bunny.stl.bgra" "$scratch/out/bunny.reference" 2>/dev/null
echo "-- 100 small files, one host process (the first makes the device)"
host "$scratch"/small/model_0{0,1}.stl >/dev/null
host "$scratch"/small/*.stl | tail -1
start=$(date +%s%N)
for f in "$scratch"/small/model_0*.stl; do
    xvfb-run -a f3d --output="$scratch/f3d/$(basename "$f").png" --resolution="$side,$side" "$f" >/dev/null 2>&1
done
echo "f3d --output: $((($(date +%s%N) - start) / 10000000)) ms a file (a process each, natively under xvfb-run)"
for big in torus_256k.stl torus_ascii_whole.stl torus_2g.stl rough_2g.stl torus_1g_ascii.stl \
    bunny.stl bunny_ascii.stl bunny_x4.stl bunny_18m.stl bunny_1g_ascii.stl; do
    [ -f "$scratch/$big" ] || continue
    echo "-- $big ($(($(stat -c %s "$scratch/$big") / 1048576)) MiB), load $(cut -d' ' -f1 /proc/loadavg)"
    cat "$scratch/$big" >/dev/null
    echo "warm, the DLL: $(host "$scratch/small/model_00.stl" "$scratch/$big" | sed -n 2p)"
    echo "warm: $(host --split "$scratch/small/model_00.stl" "$scratch/$big" | sed -n 2p)"
    uncache "$scratch/$big"
    echo "cold: $(host --split "$scratch/small/model_00.stl" "$scratch/$big" | sed -n 2p)"
    case $big in
        rough*) reference=rough.reference ;;
        bunny*) reference=bunny.reference ;;
        *) reference=torus.reference ;;
    esac
    echo "silhouette agreement with the shape read whole: $(agreement "$reference" "$big")"
done
echo "(under Wine: the host and the DLL run under Wine, Direct3D through wined3d; the private"
echo " memory is the host's committed private bytes, without the GPU driver's Unix side)"
[ -n "${KEEP:-}" ] || rm -f "$scratch"/torus_*.stl "$scratch"/rough_2g.stl "$scratch"/bunny_*.stl

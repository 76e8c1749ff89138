#!/usr/bin/env bash
# Thumbnails through the shell extension as Explorer asks for them (bench/thumbnail_bench:
# the DLL's class object, a stream per file, GetThumbnail), side by side with F3D's
# --output per file:
# - 100 small files (the fixtures) in one host process, against F3D on ten of them;
# - a 2 GB binary torus (40 million triangles) and a 1 GB ASCII one: time and peak
#   committed private memory of the host, with the file in the page cache (warm) and
#   dropped from it (cold: posix_fadvise DONTNEED on the file), and the silhouette's
#   agreement with the picture of a 256,000-triangle torus of the same shape, read whole (under the budget of a 256-pixel picture).
# The big files are written under /tmp and deleted at the end (KEEP=1 keeps them).
#   tools/bench_thumbnails.sh [SIDE]      (pixels a side, default 256)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTOREL_BUILD:-$root/build}
scratch=${STLBENCH:-/tmp/stlbench}/thumbnails
side=${1:-256}
"$root/tools/bootstrap.sh" f3d python3-numpy || exit 1
source "$root/tools/wine_session.sh"
cmake --build "$build/windows" --target vantorel-shell thumbnail_bench >/dev/null ||
    { echo "bench_thumbnails.sh: build first (tools/test.sh)"; exit 1; }
host() { "$wine" "$build/windows/bench/thumbnail_bench.exe" "$build/windows/vantorel-shell.dll" "$side" "$scratch/out" "$@"; }
python=/usr/bin/python3
mkdir -p "$scratch/small" "$scratch/out" "$scratch/f3d"
[ -f "$scratch/torus_256k.stl" ] || $python "$root/tools/make_big_tori.py" binary 640 200 "$scratch/torus_256k.stl"
[ -f "$scratch/torus_2g.stl" ] || $python "$root/tools/make_big_tori.py" binary 8000 2500 "$scratch/torus_2g.stl"
[ -f "$scratch/torus_1g_ascii.stl" ] || $python "$root/tools/make_big_tori.py" ascii 2550 1000 "$scratch/torus_1g_ascii.stl"
fixtures=("$root"/tests/fixtures/*.stl)
for i in $(seq -w 0 99); do
    cp "${fixtures[$((10#$i % ${#fixtures[@]}))]}" "$scratch/small/model_$i.stl"
done
# Drops one file from the page cache, so that its next read comes from the disk.
uncache() { $python -c 'import os, sys; fd = os.open(sys.argv[1], os.O_RDONLY); os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)' "$1"; }
# Silhouette agreement: the share of pixels on which both pictures are transparent (alpha
# below one half) or both are not.
agreement() {
    $python - "$side" "$scratch/out/torus_256k.stl.bgra" "$scratch/out/$1.bgra" <<'EOF'
import sys
import numpy as np
side = int(sys.argv[1])
masks = [np.fromfile(p, dtype=np.uint8).reshape(side, side, 4)[:, :, 3] >= 128 for p in sys.argv[2:]]
print("%.2f%%" % (100.0 * (masks[0] == masks[1]).mean()))
EOF
}

echo "== thumbnails of ${side}x$side, $(date -u +%Y-%m-%d), $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
host "$scratch/torus_256k.stl" | sed 's/^/reference  /'
echo "-- 100 small files, one host process (the first makes the device)"
host "$scratch"/small/model_0{0,1}.stl >/dev/null
host "$scratch"/small/*.stl | tail -1
start=$(date +%s%N)
for f in "$scratch"/small/model_0*.stl; do
    xvfb-run -a f3d --output="$scratch/f3d/$(basename "$f").png" --resolution="$side,$side" "$f" >/dev/null 2>&1
done
echo "f3d --output: $((($(date +%s%N) - start) / 10000000)) ms a file (a process each, natively under xvfb-run)"
for big in torus_2g.stl torus_1g_ascii.stl; do
    echo "-- $big ($(($(stat -c %s "$scratch/$big") / 1048576)) MiB)"
    cat "$scratch/$big" >/dev/null
    echo "warm: $(host "$scratch/small/model_00.stl" "$scratch/$big" | sed -n 2p)"
    uncache "$scratch/$big"
    echo "cold: $(host "$scratch/small/model_00.stl" "$scratch/$big" | sed -n 2p)"
    echo "silhouette agreement with the whole 256,000-triangle torus: $(agreement "$big")"
done
echo "(under Wine: the host and the DLL run under Wine, Direct3D through wined3d; the private"
echo " memory is the host's committed private bytes, without the GPU driver's Unix side)"
[ -n "${KEEP:-}" ] || rm -f "$scratch"/torus_*.stl

#!/usr/bin/env bash
# End to end, one run, one machine: the viewer from its entry to the first frame of each
# file, stage by stage, and as a whole process; F3D on the same files in the same run (its
# Debian package is installed the first time); the steps through a folder of
# 1-million-triangle files. Options: runs per file (3).
#   tools/bench_viewer.sh [RUNS]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTOREL_BUILD:-$root/build}
peers=${PEERS_DIR:-$root/../shared/peers}
scratch=${STLBENCH:-/tmp/stlbench}
runs=${1:-3}

"$root/tools/bootstrap.sh" || exit 1
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
need=()
for p in f3d python3-numpy; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    echo "bench_viewer.sh: installing ${need[*]}"
    $sudo apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null || exit 1
fi
mkdir -p "$scratch/data" "$scratch/step"
[ -f "$scratch/data/bin_1m.stl" ] || /usr/bin/python3 "$peers/gen_stl.py" "$scratch/data" >/dev/null || exit 1
# A folder of large files to step through: three 1-million-triangle tori.
for i in 1 2 3; do
    [ -f "$scratch/step/torus_$i.stl" ] || cp "$scratch/data/bin_1m.stl" "$scratch/step/torus_$i.stl"
done

source "$root/tools/wine_session.sh" || exit 1

cmake -S "$root" -B "$build/windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
cmake --build "$build/windows" --target vantorel_stamped load_bench >/dev/null || exit 1

echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'),"
echo "   load before the run: $(cut -d' ' -f1-3 /proc/loadavg); $("$wine" --version 2>/dev/null || echo Wine), F3D $(dpkg-query -W -f='${Version}' f3d)"
# The load pipeline on the step folder's file, in the same run, for the stepping ratio.
pipeline=$("$wine" "$build/windows/bench/load_bench.exe" --runs 5 "Z:$scratch/step/torus_1.stl" | tr '\t' '\n' | awk '/^total / { print $2 }')
echo "load pipeline (load_bench) on a 1-million-triangle file: $pipeline ms"
/usr/bin/python3 "$root/bench/viewer_bench.py" --wine "$wine" --viewer "$build/windows/bench/vantorel_stamped.exe" \
    --runs "$runs" --step-folder "$scratch/step" --pipeline-ms "$pipeline" \
    "$root/tests/fixtures/cube_binary.stl" "$scratch/data/bin_1m.stl" "$scratch/data/ascii_200k.stl"
echo "   load after the run: $(cut -d' ' -f1-3 /proc/loadavg)"

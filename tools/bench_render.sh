#!/usr/bin/env bash
# Pictures without a window, side by side with F3D's --output, in one run on this machine:
# a folder of 100 fixture-sized files in one vantorel-info process, and the 1-million-
# triangle binary torus; each figure the median of 3 whole-process runs. Installs F3D and
# the generator's numpy the first time.
#   tools/bench_render.sh [SIZE]      (pixels a side, default 512)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTOREL_BUILD:-$root/build}
peers=${PEERS_DIR:-$root/../shared/peers}
scratch=${STLBENCH:-/tmp/stlbench}/render
side=${1:-512}

"$root/tools/bootstrap.sh" f3d python3-numpy || exit 1

source "$root/tools/wine_session.sh"
cmake --build "$build/windows" --target vantorel-info >/dev/null || { echo "bench_render.sh: build first (tools/test.sh)"; exit 1; }
info="$build/windows/vantorel-info.exe"

mkdir -p "$scratch/small" "$scratch/out" "$scratch/f3d"
[ -f "$scratch/bin_1m.stl" ] || /usr/bin/python3 "$peers/gen_stl.py" "$scratch" >/dev/null
fixtures=("$root"/tests/fixtures/*.stl)
for i in $(seq -w 0 99); do
    cp "${fixtures[$((10#$i % ${#fixtures[@]}))]}" "$scratch/small/model_$i.stl"
done

# Median of 3 wall-clock runs of a command, in milliseconds.
median() {
    local times=()
    for _ in 1 2 3; do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        times+=($(((end - start) / 1000000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n 2p
}

f3d_picture() {
    xvfb-run -a f3d --output="$scratch/f3d/$(basename "$1").png" --resolution="$side,$side" "$1"
}

f3d_folder() {
    for f in "$scratch"/small/model_0*.stl; do f3d_picture "$f"; done  # the first 10
}

echo "== pictures of ${side}x$side, $(date -u +%Y-%m-%d), $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
ours_folder=$(median "$wine" "$info" --render "$scratch/out" --size "${side}x$side" "$scratch/small")
ours_one=$(median "$wine" "$info" --render "$scratch/out" --size "${side}x$side" "$scratch/small/model_00.stl")
ours_big=$(median "$wine" "$info" --render "$scratch/out" --size "${side}x$side" "$scratch/bin_1m.stl")
f3d_ten=$(median f3d_folder)
f3d_big=$(median f3d_picture "$scratch/bin_1m.stl")
awk -v folder="$ours_folder" -v one="$ours_one" -v big="$ours_big" -v ften="$f3d_ten" -v fbig="$f3d_big" 'BEGIN {
    per = (folder - one) / 99; fper = ften / 10
    printf "100 small files   vantorel-info %6.0f ms in one process (%5.1f ms a file after the first, %4.0f ms for one)\n", folder, per, one
    printf "                  f3d           %6.1f ms a file (a process each)        ratio %.1f\n", fper, fper / per
    printf "bin_1m.stl        vantorel-info %6.0f ms   f3d %6.0f ms                  ratio %.2f\n", big, fbig, fbig / big
    print  "(vantorel-info under Wine, whole process with Wine'"'"'s own start; f3d natively under xvfb-run)"
}'

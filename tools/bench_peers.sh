#!/usr/bin/env bash
# One run, one machine: this program's load pipeline and the peer STL readers on the same
# files, with the ratio peer / this program. Installs the peers from Debian's packages and
# npm the first time (several minutes), like ../shared/peers/README.md describes.
#   tools/bench_peers.sh            (the peers' scripts are taken from ../shared/peers)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTOREL_BUILD:-$root/build}
peers=${PEERS_DIR:-$root/../shared/peers}
scratch=${STLBENCH:-/tmp/stlbench}
export STLBENCH=$scratch
[ -f "$peers/bench_peers.sh" ] || { echo "bench_peers.sh: no peer scripts in $peers" >&2; exit 1; }

"$root/tools/bootstrap.sh" || exit 1
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
need=()
for p in admesh libadmesh-dev assimp-utils libassimp-dev python3-numpy python3-stl python3-vtk9; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
command -v npm >/dev/null || need+=(nodejs npm)  # a Node.js of the machine's own serves as well
if [ ${#need[@]} -gt 0 ]; then
    echo "bench_peers.sh: installing ${need[*]}"
    $sudo apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null || exit 1
fi
mkdir -p "$scratch/data" "$scratch/ours"
[ -d "$scratch/node_modules/three" ] || (cd "$scratch" && npm init -y >/dev/null && npm install three@0.187.0 >/dev/null 2>&1)
[ -x "$scratch/admesh_parse" ] || gcc -O2 -o "$scratch/admesh_parse" "$peers/admesh_parse.c" -ladmesh
[ -x "$scratch/assimp_parse" ] || g++ -O2 -o "$scratch/assimp_parse" "$peers/assimp_parse.cpp" -lassimp
[ -x "$scratch/floor_parse" ] || gcc -O2 -o "$scratch/floor_parse" "$peers/floor_parse.c"
[ -f "$scratch/data/bin_1m.stl" ] || /usr/bin/python3 "$peers/gen_stl.py" "$scratch/data" >/dev/null

export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
cmake -S "$root" -B "$build/windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
cmake --build "$build/windows" --target load_bench >/dev/null || exit 1
bench="$build/windows/bench/load_bench.exe"
[ -f "$scratch/ours/bin_10m.stl" ] || "$wine" "$bench" --generate "Z:$scratch/ours" || exit 1

ours=$(mktemp)
for file in "$scratch/data/bin_1m.stl" "$scratch/data/bin_200k.stl" "$scratch/data/ascii_200k.stl" \
            "$scratch/ours/colour_1m.stl" "$scratch/ours/ascii_1m.stl" "$scratch/ours/bin_10m.stl"; do
    "$wine" "$bench" --runs 5 "Z:$file" >>"$ours" || exit 1  # a process per file: a clean memory peak
done
theirs=$(mktemp)
PEERS="numpy-stl admesh vtk-nomerge vtk three assimp" bash "$peers/bench_peers.sh" "$scratch/data" \
    bin_1m.stl bin_200k.stl ascii_200k.stl >"$theirs"

echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg) at the end"
echo "== This program: whole pipeline to the vertex array (map, detect, parse, identify, defaults, vertices and box),"
echo "   median of 5 in one process, warm page cache; Windows build under Wine on $(nproc) cores"
# One line per file: its stages, the floor, and the private bytes per triangle during the
# load and after it (the vertex array freed).
awk -F'\t' '{ name = $1; sub(/.*[\/:\\]/, "", name); line = sprintf("%-15s", name)
              for (i = 2; i <= NF; ++i) if ($i ~ /^(parse|prepare|total|road|floor|private) /) line = line "  " $i
              else if ($i ~ /MB\/s$/) line = line "  " $i
              print line }' "$ours"
echo
echo "== Peers (parse call only, median of 3 fresh processes) and the ratio peer / this program"
awk -F'\t' 'NR == FNR { split($1, a, "\\"); name = a[length(a)]; sub(/.*[\/:]/, "", name);
                        for (i = 1; i <= NF; ++i) if ($i ~ /^total /) { split($i, t, " "); ours[name] = t[2] }
                        for (i = 1; i <= NF; ++i) if ($i ~ /^floor /) { split($i, f, " "); floor[name] = f[2] }
                        next }
            { peer = $1; file = $2; ms = $3
              if (!(file in seen)) { printf "%-16s this program %8.1f ms   (floor %.1f ms)\n", file, ours[file], floor[file]; seen[file] = 1 }
              ratio = (ms == "ERR" || ours[file] == "") ? "-" : sprintf("%.2f", ms / ours[file])
              printf "%-16s %-12s %8s ms   ratio %s\n", "", peer, ms, ratio }' "$ours" "$theirs"
rm -f "$ours" "$theirs"

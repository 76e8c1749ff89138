#!/usr/bin/env bash
# One run, one machine: the mesh check (closed or not, edges, shells, area, volume) beside
# the load pipeline it follows, and beside two other tools that check meshes, ADMesh and
# VTK, on the same files, with where their answers agree with ours. trimesh, the usual third,
# is in neither Debian 12 nor npm, the only registries this machine reaches.
#   tools/bench_mesh.sh [RUNS]     (default 5; files in $STLBENCH, default /tmp/stlbench)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTOREL_BUILD:-$root/build}
peers=${PEERS_DIR:-$root/../shared/peers}
scratch=${STLBENCH:-/tmp/stlbench}
runs=${1:-5}
python=/usr/bin/python3  # Debian's, with its numpy and VTK

"$root/tools/bootstrap.sh" || exit 1
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
need=()
for p in admesh libadmesh-dev python3-numpy python3-vtk9; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    echo "bench_mesh.sh: installing ${need[*]}"
    $sudo apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null || exit 1
fi
work="$scratch/mesh"
mkdir -p "$work" "$scratch/data"

# The inputs: the peers' closed tori of 200,000 and 1 million triangles, one of 10 million,
# and the 1-million torus broken: every 1000th triangle left out (holes), every 777th
# turned over (misoriented edges), every 5000th written twice (non-manifold edges).
[ -f "$scratch/data/bin_1m.stl" ] || $python "$peers/gen_stl.py" "$scratch/data" >/dev/null || exit 1
$python - "$peers" "$scratch/data" "$work" <<'EOF' || exit 1
import os, sys
import numpy as np
sys.path.insert(0, sys.argv[1])
import gen_stl
data, work = sys.argv[2], sys.argv[3]
if not os.path.exists(f"{work}/bin_10m.stl"):
    gen_stl.write_binary(f"{work}/bin_10m.stl", *gen_stl.torus(2500, 2000))
if not os.path.exists(f"{work}/broken_1m.stl"):
    records = np.fromfile(f"{data}/bin_1m.stl", dtype=[("n", "<f4", 3), ("v", "<f4", (3, 3)), ("a", "<u2")], offset=84)
    index = np.arange(len(records))
    flipped = records.copy()
    flipped["v"][index % 777 == 0] = flipped["v"][index % 777 == 0][:, [0, 2, 1]]
    kept = flipped[index % 1000 != 999]
    kept = np.concatenate([kept, kept[::5000]])
    gen_stl.write_binary(f"{work}/broken_1m.stl", kept["n"], kept["v"])
EOF
files=("$scratch/data/bin_200k.stl" "$scratch/data/bin_1m.stl" "$work/broken_1m.stl" "$work/bin_10m.stl")

# ADMesh in process: stl_open, then the exact edge check and the volume, timed; then,
# untimed, its shared vertices and its parts (which it counts while it fixes normals).
cat >"$work/admesh_check.c" <<'EOF'
#include <admesh/stl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
static double now(void) { struct timespec t; clock_gettime(CLOCK_MONOTONIC, &t); return t.tv_sec * 1e3 + t.tv_nsec / 1e6; }
static int cmp(const void* a, const void* b) { double x = *(const double*)a, y = *(const double*)b; return (x > y) - (x < y); }
int main(int argc, char** argv) {
    int runs = atoi(argv[2]);
    double checks[64];
    stl_file stl;
    for (int r = 0; r < runs; ++r) {
        stl_open(&stl, argv[1]);
        double start = now();
        stl_check_facets_exact(&stl);
        stl_calculate_volume(&stl);
        checks[r] = now() - start;
        if (r + 1 < runs) stl_close(&stl);
    }
    qsort(checks, runs, sizeof *checks, cmp);
    int n = stl.stats.number_of_facets;
    long open = 3L * n - stl.stats.connected_facets_1_edge - stl.stats.connected_facets_2_edge - stl.stats.connected_facets_3_edge;
    double volume = stl.stats.volume;
    int degenerate = stl.stats.degenerate_facets;
    stl_generate_shared_vertices(&stl);
    int vertices = stl.stats.shared_vertices;
    stl_fix_normal_directions(&stl);
    printf("admesh\t%.1f\t%d\t%ld\t-\t%d\t%.6g\tdegenerate %d, facets reversed %d\n", checks[runs / 2], vertices, open,
           stl.stats.number_of_parts, volume, degenerate, stl.stats.facets_reversed);
    stl_close(&stl);
    return 0;
}
EOF
gcc -O2 -o "$work/admesh_check" "$work/admesh_check.c" -ladmesh || exit 1

# VTK: vtkSTLReader (points merged), then boundary and non-manifold edges, mass
# properties and connected regions, timed together.
cat >"$work/vtk_check.py" <<'EOF'
import sys, time
import vtk
path, runs = sys.argv[1], int(sys.argv[2])
times = []
for _ in range(runs):
    reader = vtk.vtkSTLReader(); reader.SetFileName(path); reader.Update()
    mesh = reader.GetOutput()
    start = time.perf_counter()
    def edges(boundary, manifold):
        f = vtk.vtkFeatureEdges(); f.SetInputData(mesh)
        f.SetBoundaryEdges(boundary); f.SetNonManifoldEdges(manifold); f.SetFeatureEdges(0); f.SetManifoldEdges(0)
        f.Update(); return f.GetOutput().GetNumberOfCells()
    open_edges, non_manifold = edges(1, 0), edges(0, 1)
    mass = vtk.vtkMassProperties(); mass.SetInputData(mesh); mass.Update()
    regions = vtk.vtkPolyDataConnectivityFilter(); regions.SetInputData(mesh); regions.SetExtractionModeToAllRegions(); regions.Update()
    times.append((time.perf_counter() - start) * 1e3)
times.sort()
print(f"vtk\t{times[len(times) // 2]:.1f}\t{mesh.GetNumberOfPoints()}\t{open_edges}\t{non_manifold}\t"
      f"{regions.GetNumberOfExtractedRegions()}\t{mass.GetVolume():.6g}\tarea {mass.GetSurfaceArea():.6g}")
EOF

source "$root/tools/wine_session.sh"
cmake -S "$root" -B "$build/windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
cmake --build "$build/windows" --target mesh_bench >/dev/null || exit 1

echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
echo "== This program (Windows build under Wine): the load pipeline and the check of its triangles, side by side in"
echo "   one process, median of $runs; memory = private bytes the check adds while it runs, and what stays after it"
ours=$(mktemp)
for file in "${files[@]}"; do
    "$wine" "$build/windows/bench/mesh_bench.exe" --runs "$runs" "Z:$file" >>"$ours" || exit 1
done
# Each file's line, then the check's steps on a line of their own, indented.
steps=$(mktemp)
grep '^ ' "$ours" >"$steps"
sed -i '/^ /d' "$ours"
awk -F'\t' 'NR == FNR { step[FNR] = $0; next }
             { n = $1; sub(/.*[\/:\\]/, "", n); printf "%-15s %-14s %-13s %-14s %-17s %-26s %s\n%s\n", n, $2, $3, $4, $5, $6, $7, step[FNR] }' "$steps" "$ours"
rm -f "$steps"
awk -F'\t' '{ split($4, c, " "); split($2, t, " "); ms[NR] = c[2]; tri[NR] = t[1] }
            END { if (NR >= 4) printf "linearity: 10M / 1M = x%.2f the time for x%.1f the triangles\n", ms[4] / ms[2], tri[4] / tri[2] }' "$ours"

echo
echo "== Answers side by side; check = the check alone, file already read (ADMesh and VTK in process, median of up to 3)"
printf "%-15s %-8s %10s %10s %8s %8s %7s %14s  %s\n" file tool "check ms" vertices open n-m shells "volume mm3" notes
i=0
for file in "${files[@]}"; do
    i=$((i + 1))
    name=$(basename "$file")
    awk -F'\t' -v row="$i" -v name="$name" 'NR == row {
        for (k = 1; k <= NF; ++k) { split($k, w, " "); v[w[1]] = w[2] }
        split($4, c, " "); printf "%-15s %-8s %10s %10s %8s %8s %7s %14.6g  degenerate %s, misoriented %s, %s\n", name, "ours", c[2],
               v["vertices"], v["open"], v["non-manifold"], v["shells"], v["volume"] * 1e9, v["degenerate"], v["misoriented"], $NF }' "$ours"
    # The peers take seconds a run: fewer runs, and none of ADMesh's minutes on the largest file.
    peerRuns=$([ "$runs" -gt 3 ] && echo 3 || echo "$runs")
    tools="admesh vtk"
    [ "$(stat -c %s "$file")" -gt 200000000 ] && peerRuns=1 tools=vtk
    for tool in $tools; do
        if [ "$tool" = admesh ]; then line=$("$work/admesh_check" "$file" "$peerRuns" 2>/dev/null)
        else line=$($python "$work/vtk_check.py" "$file" "$peerRuns" 2>"$work/$tool.err"); fi
        # A tool that fails says so, with the last line of what it wrote.
        [ -n "$line" ] || line="$tool	failed: $(grep -v '^$' "$work/$tool.err" 2>/dev/null | tail -n 1 | cut -c1-60)"
        echo "$line" | awk -F'\t' -v name="" '{ printf "%-15s %-8s %10s %10s %8s %8s %7s %14s  %s\n", name, $1, $2, $3, $4, $5, $6, $7, $8 }'
    done
done
rm -f "$ours"
cat <<'EOF'

Where the definitions differ: ADMesh matches each edge to one neighbour, so a non-manifold edge
shows as open uses ("open" = facet edges left without a neighbour), removes degenerate facets
and counts parts only while it turns facets round; VTK merges points by coordinates (-0 and +0
as one, like ours), counts boundary and non-manifold edges as we do, but joins regions through
shared points, not edges, and sums signed volume in its own way (its volume of an open mesh
is still a number). Ours counts vertices of non-degenerate triangles only.
EOF

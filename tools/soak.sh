#!/usr/bin/env bash
# The long forms of the viewer's stress tests: a stepping storm and a monkey of two and a
# half minutes each, closing during 500 MB and 250 MB loads, files cut short and held open,
# and every hostile input of the guard-page test and the fuzz corpora stepped through in
# the viewer. Builds what is missing (as tools/test.sh does) and prints the figures.
# Optional arguments: a GoogleTest filter (default: all of them), e.g. '*Storm*:*Closing*'.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTOREL_BUILD:-$root/build}
filter=${1:-ViewerStress.*}

"$root/tools/bootstrap.sh" || exit 1
mkdir -p "$build"
source "$root/tools/wine_session.sh" || exit 1

if [ ! -f "$build/windows/build.ninja" ]; then
    cmake -S "$root" -B "$build/windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release >"$build/configure-windows.log" 2>&1 || { cat "$build/configure-windows.log"; exit 1; }
fi
cmake --build "$build/windows" --target viewer_stress_tests >"$build/build-soak.log" 2>&1 || { cat "$build/build-soak.log"; exit 1; }

start=$(date +%s)
VANTOREL_SOAK=1 "$wine" "$build/windows/tests/viewer_stress_tests.exe" --gtest_filter="$filter" 2>&1 |
    grep -E '^(figures:|\[ *(OK|FAILED|PASSED) *\])|Failure|error' 
status=${PIPESTATUS[0]}
echo "soak.sh: $(( $(date +%s) - start )) s"
exit "$status"

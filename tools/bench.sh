#!/usr/bin/env bash
# Builds the benchmarks optimised (native without sanitizers, and Windows) and runs them:
# natively, then under Wine. Extra arguments go to each benchmark.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTOREL_BUILD:-$root/build}
"$root/tools/bootstrap.sh" || exit 1
export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all  # the build runs the shader compiler under Wine
cmake -S "$root" -B "$build/native-release" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=Release -DVANTOREL_SANITIZE=OFF >/dev/null || exit 1
cmake -S "$root" -B "$build/windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
cmake --build "$build/native-release" --target ascii_reader_bench >/dev/null || exit 1
cmake --build "$build/windows" --target ascii_reader_bench >/dev/null || exit 1

wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
echo "== native (clang $(clang -dumpversion), $(nproc) cores)"
"$build/native-release/bench/ascii_reader_bench" "$@" || exit 1
echo "== Windows build under Wine (mingw-w64 GCC $(x86_64-w64-mingw32-g++-posix -dumpversion))"
"$wine" "$build/windows/bench/ascii_reader_bench.exe" "$@" 2>/dev/null || exit 1

#!/usr/bin/env bash
# Builds everything and runs every test: the Windows build under Wine (with its own Xvfb
# display and Wine prefix inside the build tree) and the native build under ASan/UBSan.
# Installs what is missing first. Ends with CTest's summary line; exits non-zero on any
# failure.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTOREL_BUILD:-$root/build}
jobs=$(nproc 2>/dev/null || echo 2)

"$root/tools/bootstrap.sh" || exit 1

# Build output goes to a log that is shown only when the build fails.
step() {
    local name=$1
    shift
    if ! "$@" >"$build/$name.log" 2>&1; then
        cat "$build/$name.log"
        echo "test.sh: $name failed" >&2
        exit 1
    fi
}

mkdir -p "$build"
# A display of our own and the build's Wine prefix for the windows the tests create.
source "$root/tools/wine_session.sh" || exit 1

step configure-windows cmake -S "$root" -B "$build/windows" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release
step configure-native cmake -S "$root" -B "$build/native" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
step build-windows cmake --build "$build/windows" -j "$jobs"
step build-native cmake --build "$build/native" -j "$jobs"

status=0
echo "== native tests (ASan, UBSan)"
ctest --test-dir "$build/native" -j "$jobs" --output-on-failure || status=1
echo "== Windows tests (Wine)"
ctest --test-dir "$build/windows" -j "$jobs" --output-on-failure || status=1
exit $status

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
# A display of our own for the windows the tests create.
display=99
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!

export DISPLAY=":$display"
export WINEPREFIX="$build/wine-prefix"
export WINEDEBUG=-all
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)

cleanup() {
    "$wineserver" -k >/dev/null 2>&1
    kill "$xvfb" >/dev/null 2>&1
    wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT

# One persistent Wine server for every launch, the build's shader compiler included.
# Wine's background services start with the prefix; started here, with their output
# discarded, they never hold CTest's pipes open.
"$wineserver" -p >/dev/null 2>&1
"$wine" wineboot >/dev/null 2>&1
# A program that crashes gets Wine's backtrace on its error output and ends, as a failed
# test, instead of a crash dialog that nobody answers.
"$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1

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

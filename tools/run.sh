#!/usr/bin/env bash
# Opens FILE (default: the bundled sample) in the viewer under Wine, building what is
# missing first. With DISPLAY set, the viewer opens on that display and this script returns
# when it is closed. Without a display it runs on a private Xvfb, waits until the file is
# shown, saves a screenshot of the window to build/screenshot.png, and closes the viewer.
set -euo pipefail
# Whatever ends the script early names the command that failed.
trap 'echo "run.sh: failed (status $?): $BASH_COMMAND" >&2' ERR

root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTOREL_BUILD:-$root/build}
file=${1:-$root/samples/table.stl}
[ -e "$file" ] && file=$(cd "$(dirname "$file")" && pwd)/$(basename "$file")

"$root/tools/bootstrap.sh" || { echo "run.sh: could not install the packages the viewer needs" >&2; exit 1; }
viewer="$build/windows/vantorel.exe"
mkdir -p "$build"

xvfb=""
viewerPid=""
if [ -z "${DISPLAY:-}" ]; then
    source "$root/tools/wine_session.sh" || exit 1
    cleanup() {
        local status=$?
        set +e
        if [ -n "$viewerPid" ]; then
            kill "$viewerPid" 2>/dev/null
            wait "$viewerPid" 2>/dev/null
        fi
        endWineSession
        exit $status
    }
    trap cleanup EXIT
else
    export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all
    wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
    wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
    # The server starts in the prefix's folder; wineboot fills it the first time.
    mkdir -p "$WINEPREFIX"
fi

# The build compiles its shaders with a helper that runs under Wine.
if [ ! -x "$viewer" ]; then
    echo "run.sh: building the viewer (once)"
    "$wineserver" -p >/dev/null 2>&1 || true
    "$wine" wineboot >/dev/null 2>&1 || true
    if [ ! -f "$build/windows/CMakeCache.txt" ]; then
        cmake -S "$root" -B "$build/windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
            -DCMAKE_BUILD_TYPE=Release >"$build/run-configure.log" 2>&1 ||
            { cat "$build/run-configure.log"; echo "run.sh: configuring the Windows build failed" >&2; exit 1; }
    fi
    cmake --build "$build/windows" --target vantorel >"$build/run-build.log" 2>&1 ||
        { cat "$build/run-build.log"; echo "run.sh: building the viewer failed" >&2; exit 1; }
fi

if [ -z "$xvfb" ]; then
    exec "$wine" "$viewer" "$file"
fi

"$wine" "$viewer" "$file" >/dev/null 2>&1 &
viewerPid=$!

# The window's title names the file from the start of its load.
title="Vantorel STL Viewer – $(basename "$file")"
window=""
shot="$build/screenshot.png"
for _ in $(seq 1 120); do
    window=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$title\"" | head -n 1 | awk '{print $1}') || true
    [ -n "$window" ] && break
    if ! kill -0 "$viewerPid" 2>/dev/null; then
        wait "$viewerPid" && status=0 || status=$?
        viewerPid=""
        echo "run.sh: the viewer ended (status $status) before its window showed $(basename "$file")" >&2
        exit 1
    fi
    sleep 0.5
done
if [ -z "$window" ]; then
    echo "run.sh: no window titled \"$title\" appeared within a minute" >&2
    exit 1
fi
# The model is shown once the middle of the 3D view (the window's left) holds more than a
# handful of colours, which the progress bar in its place and an empty view do not, and
# three captures a second apart agree. A file that shows no model is taken as it is after a
# minute.
previous=""
same=0
shown=""
for _ in $(seq 1 60); do
    sleep 1
    import -window "$window" "$shot.tmp.png" || { echo "run.sh: could not capture the window $window" >&2; exit 1; }
    current=$(convert "$shot.tmp.png" rgba:- | md5sum)
    if [ "$current" = "$previous" ]; then same=$((same + 1)); else same=0; fi
    previous=$current
    read -r width height <<<"$(identify -format '%w %h' "$shot.tmp.png")"
    colours=$(convert "$shot.tmp.png" -crop "$((width * 45 / 100))x$((height * 55 / 100))+$((width * 8 / 100))+$((height * 12 / 100))" \
        +repage -format '%k' info:)
    if [ "$same" -ge 2 ] && [ "$colours" -ge 8 ]; then
        shown=yes
        break
    fi
done
mv "$shot.tmp.png" "$shot"
if [ -n "$shown" ]; then
    echo "run.sh: the viewer showed $(basename "$file"); screenshot of its window: $shot"
else
    echo "run.sh: the viewer shows no model of $(basename "$file") after a minute; screenshot of its window: $shot"
fi

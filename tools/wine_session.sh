# Sourced by the scripts that run the Windows build under Wine: a display of their own (Xvfb
# on the first free number), the build tree's Wine prefix with one persistent Wine server,
# and a trap that ends both when the script exits. Needs $build; sets $wine and $wineserver.
# One Wine server serves every launch, the build's shader compiler included. Works on a
# fresh clone: the prefix is made here when it does not exist yet. A step that fails says
# which, and returns non-zero to the caller.
export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
wineSessionFailed() {
    echo "wine_session.sh: $1" >&2
    return 1
}
display=99
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$display"
endWineSession() {
    "$wineserver" -k >/dev/null 2>&1
    kill "$xvfb" >/dev/null 2>&1
    wait "$xvfb" 2>/dev/null
}
trap endWineSession EXIT
# The server starts in the prefix's folder, so that folder must exist first (wineboot fills
# it). Wine's background services start with the prefix; started here, with their output
# discarded, they never hold a caller's pipes (CTest's) open.
mkdir -p "$WINEPREFIX" || wineSessionFailed "cannot make the Wine prefix folder $WINEPREFIX" || return 1
"$wineserver" -p >/dev/null 2>&1 || wineSessionFailed "the Wine server ($wineserver) did not start for $WINEPREFIX" || return 1
"$wine" wineboot >/dev/null 2>&1 || wineSessionFailed "wineboot could not prepare the Wine prefix $WINEPREFIX" || return 1
# A program that crashes gets Wine's backtrace on its error output and ends, as a failed
# test, instead of a crash dialog that nobody answers.
"$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 ||
    wineSessionFailed "could not turn off Wine's crash dialog in $WINEPREFIX" || return 1
# The display answers by the time wineboot is done; a display that never came is named here
# rather than by the first program that cannot open a window.
for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
done
[ -e "/tmp/.X11-unix/X$display" ] || wineSessionFailed "Xvfb did not start on display :$display" || return 1

#!/usr/bin/env bash
# tools/run.sh as the first command of a fresh clone: no display and no Wine prefix yet (a
# build folder of its own that reuses the built viewer). It must end with status 0, name
# the file it showed and leave a screenshot of the window with the model in it.
# Usage: run_script_test.sh SOURCE_DIR WINDOWS_BUILD_DIR
set -u
root=$1
windowsBuild=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ln -s "$windowsBuild" "$work/windows"

fail() {
    echo "run_script_test: $1" >&2
    printf '%s\n' "$output" | sed 's/^/  run.sh: /' >&2
    exit 1
}

output=$(env -u DISPLAY VANTOREL_BUILD="$work" "$root/tools/run.sh" 2>&1)
status=$?
[ $status -eq 0 ] || fail "run.sh ended with status $status"
grep -qF "the viewer showed table.stl" <<<"$output" || fail "run.sh did not report the sample as shown"
[ -d "$work/wine-prefix/drive_c" ] || fail "no Wine prefix was made in $work/wine-prefix"
shot=$work/screenshot.png
[ -f "$shot" ] || fail "no screenshot at $shot"
# The middle of the 3D view (the window's left): the progress bar or an empty view is one
# or two colours, the shaded model with its multisampled edges dozens.
picture=$(identify -format '%w %h' "$shot") || fail "the screenshot is not a picture"
read -r width height <<<"$picture"
[ "$width" -ge 400 ] && [ "$height" -ge 300 ] || fail "the screenshot is only ${width}x$height"
middle=$((width * 45 / 100))x$((height * 55 / 100))+$((width * 8 / 100))+$((height * 12 / 100))
colours=$(convert "$shot" -crop "$middle" +repage -format '%k' info:) || fail "the screenshot cannot be cropped"
[ "$colours" -ge 8 ] || fail "the 3D view has only $colours colours: no model shown"
echo "run_script_test: run.sh made a prefix, showed the sample and saved a ${width}x$height screenshot ($colours colours in the view)"

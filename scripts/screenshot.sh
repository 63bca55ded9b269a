#!/usr/bin/env bash
# Opens the built ravolen.exe on a virtual display and saves what a person would see:
#   scripts/screenshot.sh OUT.png [SECONDS] [COMMAND...]
# COMMAND, when given, runs on the display once the program is up (for example an xdotool click
# or key press, as a user gives them), and the picture is taken two seconds after it.
. "$(dirname "$0")/common.sh"
out=$(realpath -m "${1:?usage: screenshot.sh OUT.png [SECONDS] [COMMAND...]}")
wait_seconds=${2:-6}
shift $(($# < 2 ? $# : 2))
ravolen_wine_env "$build"
export DISPLAY=${RAVOLEN_DISPLAY:-:98}  # another number lets two screenshots run at once
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
ravolen_wine_start x11
trap 'ravolen_wine_stop; kill $xvfb 2>/dev/null || true' EXIT
# A Wine desktop draws the title bar and border that a bare X server leaves out.
wine explorer /desktop=Ravolen,1024x700 "$build/win/src/ravolen.exe" &
sleep "$wait_seconds"
if [ $# -gt 0 ]; then
  "$@"
  sleep 2
fi
import -window root "$out"
echo "saved $out"

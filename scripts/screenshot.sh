#!/usr/bin/env bash
# Opens the built ravolen.exe on a virtual display and saves what a person would see:
#   scripts/screenshot.sh OUT.png [SECONDS] [COMMAND...]
# COMMAND, when given, runs on the display once the program is up (for example an xdotool click
# or key press, as a user gives them), and the picture is taken two seconds after it.
# RAVOLEN_LOGPIXELS=144 shows it at that DPI (150 %; 120, 168, 192 likewise): the prefix's
# LogPixels is set for this one run and taken away again afterwards.
. "$(dirname "$0")/common.sh"
out=$(realpath -m "${1:?usage: screenshot.sh OUT.png [SECONDS] [COMMAND...]}")
wait_seconds=${2:-6}
shift $(($# < 2 ? $# : 2))
ravolen_wine_env "$build"
export DISPLAY=${RAVOLEN_DISPLAY:-:98}  # another number lets two screenshots run at once
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
ravolen_wine_start x11
desktop=1024x700
if [ -n "${RAVOLEN_LOGPIXELS:-}" ]; then
  # Wine takes the user's DPI from here; each program reads it as it starts.
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$RAVOLEN_LOGPIXELS" /f \
    >/dev/null 2>&1
  desktop=1270x790
fi
restore() {
  if [ -n "${RAVOLEN_LOGPIXELS:-}" ]; then
    wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || true
  fi
  ravolen_wine_stop
  kill $xvfb 2>/dev/null || true
}
trap restore EXIT
# A Wine desktop draws the title bar and border that a bare X server leaves out.
wine explorer /desktop=Ravolen,$desktop "$build/win/src/ravolen.exe" &
sleep "$wait_seconds"
if [ $# -gt 0 ]; then
  "$@"
  sleep 2
fi
import -window root "$out"
echo "saved $out"

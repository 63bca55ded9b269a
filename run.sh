#!/usr/bin/env bash
# Builds Ravolen and opens it under Wine, with the renderer stand-in installed where 3ds Max 2012
# would be, so that a render can be followed from the job table to the renderer's calls.
. "$(dirname "$0")/scripts/common.sh"

ravolen_setup
ravolen_build_windows

ravolen_wine_env "$build"
if [ -z "${DISPLAY:-}" ]; then
  export DISPLAY=:99
  if ! xdpyinfo >/dev/null 2>&1; then
    Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    sleep 1
  fi
  echo "No display was set: Ravolen runs on the virtual display $DISPLAY."
  echo "See it with: DISPLAY=$DISPLAY import -window root ravolen.png"
fi
ravolen_wine_start x11
trap ravolen_wine_stop EXIT

# Drive D: inside the prefix, holding the stand-in as D:\Program Files\Autodesk\3ds Max 2012.
max="$WINEPREFIX/drive_d/Program Files/Autodesk/3ds Max 2012"
mkdir -p "$max"
ln -sfn ../drive_d "$WINEPREFIX/dosdevices/d:"
cp "$build/win/tools/standin/3dsmaxcmd.exe" "$max/3dsmaxcmd.exe"
echo "Renderer calls are logged to: $max/3dsmaxcmd-calls.log"
echo "The render script is written to: $build/win/src/bat/Render.bat"

wine "$build/win/src/ravolen.exe"

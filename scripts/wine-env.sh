# Sourced by the build, run and test scripts: one private Wine prefix inside the build folder,
# set up as a Simplified Chinese Windows (code page 936) with a CJK font standing in for 宋体.
# shellcheck shell=bash

ravolen_wine_env() {
  local build_root=$1
  export WINEPREFIX="$build_root/wineprefix"
  export WINEARCH=win64
  export WINEDEBUG=-all
  # No Mono or Gecko installer dialog may hang prefix creation.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # Gives ANSI and OEM code page 936 inside Wine and UTF-8 file names outside.
  export LC_ALL=zh_CN.UTF-8
}

# ravolen_wine_start null|x11: keeps one wineserver alive (each process then starts in
# milliseconds instead of seconds), creates the prefix on first use and picks the graphics driver.
ravolen_wine_start() {
  local driver=$1
  mkdir -p "$WINEPREFIX"
  ravolen_wine_stop
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix in $WINEPREFIX"
    wine wineboot -i >/dev/null 2>&1
    # wineboot returns before everything it started has finished setting the prefix up.
    wineserver -w
  fi
  # Title bar buttons are glyphs of Wine's Marlett; a prefix made before fonts-wine came lacks it.
  local marlett=/usr/share/wine/fonts/marlett.ttf fonts="$WINEPREFIX/drive_c/windows/Fonts"
  if [ -f "$marlett" ] && [ -d "$fonts" ] && [ ! -f "$fonts/marlett.ttf" ]; then
    cp "$marlett" "$fonts/"
  fi
  # 宋体 is monospaced (Latin half as wide as Chinese); the Mono cut of Zen Hei keeps that, so
  # captions fit the widths the layout gives them.
  local reg="$WINEPREFIX/ravolen-fonts.reg" font="WenQuanYi Zen Hei Mono"
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n'
    for face in 宋体 SimSun NSimSun "MS Shell Dlg" "MS Shell Dlg 2"; do
      printf '"%s"="%s"\r\n' "$face" "$font"
    done
    printf '\r\n'
  } | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg.new"
  if ! cmp -s "$reg.new" "$reg"; then
    wine regedit /S "$reg.new" >/dev/null 2>&1
    mv "$reg.new" "$reg"
  else
    rm -f "$reg.new"
  fi
  # The desktop picks its driver when the first program of a wineserver session starts, so a
  # change of driver only counts from the next session on.
  local current=x11
  grep -A3 '^\[Software\\\\Wine\\\\Drivers\]' "$WINEPREFIX/user.reg" 2>/dev/null |
    grep -q '"Graphics"="null"' && current=null
  if [ "$current" != "$driver" ]; then
    if [ "$driver" = null ]; then
      wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    else
      wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
    fi
  fi
  ravolen_wine_stop
  wineserver -p
  # The first program of a session starts Wine's services, which inherit its output handles and
  # keep them open: a caller that reads that output to its end (ctest's test discovery) would
  # wait forever. Let a program whose output nobody reads start them.
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

# Ends the session and waits until its wineserver has written the registry and gone.
ravolen_wine_stop() {
  wineserver -k 2>/dev/null || true
  wineserver -w
}

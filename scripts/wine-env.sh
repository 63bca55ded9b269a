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
  wineserver -p
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix in $WINEPREFIX"
    wine wineboot -i >/dev/null 2>&1
    local reg="$WINEPREFIX/ravolen-fonts.reg"
    {
      printf '\xff\xfe'
      printf 'Windows Registry Editor Version 5.00\r\n\r\n'
      printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n'
      printf '"宋体"="WenQuanYi Zen Hei"\r\n"SimSun"="WenQuanYi Zen Hei"\r\n"NSimSun"="WenQuanYi Zen Hei"\r\n'
      printf '"MS Shell Dlg"="WenQuanYi Zen Hei"\r\n"MS Shell Dlg 2"="WenQuanYi Zen Hei"\r\n\r\n'
    } | { head -c 2; tail -c +3 | iconv -f UTF-8 -t UTF-16LE; } >"$reg"
    wine regedit /S "$reg" >/dev/null 2>&1
  fi
  if [ "$driver" = null ]; then
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  else
    wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
  fi
}

ravolen_wine_stop() {
  wineserver -k 2>/dev/null || true
}

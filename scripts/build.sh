# Sourced by run.sh and test.sh: configures and builds one of the two trees.
# shellcheck shell=bash

ravolen_build_windows() {  # ravolen.exe, the stand-in renderer and the Windows tests
  local root=$1 build=$2
  cmake -S "$root" -B "$build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >/dev/null
  cmake --build "$build/win"
}

ravolen_build_native() {  # the rules and their tests, with AddressSanitizer and UBSan
  local root=$1 build=$2
  cmake -S "$root" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$build/native"
}

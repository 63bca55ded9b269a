# Sourced by run.sh, test.sh and the helper scripts: where things are, and how to build them.
# shellcheck shell=bash
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"
# shellcheck source=wine-env.sh
. "$root/scripts/wine-env.sh"

ravolen_setup() {  # installs what is missing
  bash "$root/scripts/setup-deps.sh"
}

ravolen_build_windows() {  # ravolen.exe, the stand-in renderer and the Windows tests
  cmake -S "$root" -B "$build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >/dev/null
  cmake --build "$build/win"
}

ravolen_build_native() {  # the rules and their tests, with AddressSanitizer and UBSan
  cmake -S "$root" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$build/native"
}

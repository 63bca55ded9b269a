#!/usr/bin/env bash
# Builds Ravolen and runs its benchmarks under Wine: each figure beside the same work done with
# bare Win32 calls in the same run. Installs what is missing first.
#   ./bench.sh [REPETITIONS [FIGURE...]]   e.g. ./bench.sh 5 scale
. "$(dirname "$0")/scripts/common.sh"

ravolen_setup
ravolen_build_windows

ravolen_wine_env "$build"
ravolen_wine_start null
trap ravolen_wine_stop EXIT
wine "$build/win/bench/ravolen_bench.exe" "${1:-5}" "${@:2}"

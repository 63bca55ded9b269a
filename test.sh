#!/usr/bin/env bash
# Builds everything and runs every test: the rules natively under the sanitizers, then the rules,
# the windows and the real platform under Wine. Installs what is missing first.
. "$(dirname "$0")/scripts/common.sh"

ravolen_setup
ravolen_build_native
ravolen_build_windows

ravolen_wine_env "$build"
ravolen_wine_start null
trap ravolen_wine_stop EXIT

passed=0
failed=0
run_ctest() {
  local log status=0
  log=$(mktemp)
  ctest --test-dir "$1" -j2 --output-on-failure --timeout 300 2>&1 | tee "$log" || status=1
  local summary total bad
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1 || true)
  rm -f "$log"
  if [ -z "$summary" ]; then
    failed=$((failed + 1))
    return
  fi
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$summary")
  bad=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$summary")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  [ "$status" -eq 0 ] || [ "$bad" -gt 0 ] || failed=$((failed + 1))
}

echo "== Rules, natively with AddressSanitizer and UndefinedBehaviorSanitizer"
run_ctest "$build/native"
echo "== Everything, under Wine"
run_ctest "$build/win"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

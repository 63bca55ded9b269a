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
# Runs one build's tests and adds up their summary. $2, when given, is how many failures count as
# Wine's chance rather than a fault: those tests run once more, alone, and are named either way.
run_ctest() {
  local log status=0
  log=$(mktemp)
  ctest --test-dir "$1" -j2 --output-on-failure --timeout 300 2>&1 | tee "$log" || status=1
  local total bad
  read -r total bad < <(summary_of "$log") || true
  if [ -z "$total" ]; then
    rm -f "$log"
    failed=$((failed + 1))
    return
  fi
  if [ "$bad" -gt 0 ] && [ "$bad" -le "${2:-0}" ]; then
    local first
    first=$(failed_in "$log")
    echo "== Run again, one at a time: $(tr '\n' ' ' <<<"$first")"
    ctest --test-dir "$1" --rerun-failed --output-on-failure --timeout 300 2>&1 | tee "$log" &&
      status=0
    local again
    read -r _ again < <(summary_of "$log") || true
    if [ -n "$again" ]; then
      [ "$again" -lt "$bad" ] && echo "== Failed once and passed when run again:" \
        "$(grep -vxF -f <(failed_in "$log"; echo '#') <<<"$first" | tr '\n' ' ')"
      bad=$again
    fi
  fi
  rm -f "$log"
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  [ "$status" -eq 0 ] || [ "$bad" -gt 0 ] || failed=$((failed + 1))
}
# "total failed" from ctest's summary line in the log $1, nothing when there is none.
summary_of() {
  grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$1" | tail -1 |
    sed -E 's/.*passed, ([0-9]+) tests failed out of ([0-9]+).*/\2 \1/'
}
failed_in() {
  sed -n '/The following tests FAILED:/,$p' "$1" | grep -E '^\s+[0-9]+ - ' | sed -E 's/^\s+[0-9]+ - ([^ ]+).*/\1/'
}

echo "== Rules, natively with AddressSanitizer and UndefinedBehaviorSanitizer"
run_ctest "$build/native"
echo "== Everything, under Wine"
# Wine's desktop, its services and a loaded machine now and then fail a window test that passes
# on every other run; two such failures in one run are taken as chance, more as a fault.
run_ctest "$build/win" 2

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# Builds every preset and runs every test: the native unit tests (plain and
# under ASan/UBSan), then the Windows build's unit and end-to-end tests under
# Wine, then velmo.exe and the Windows unit tests as clang builds them (the
# end-to-end tests run once, above). Prints one summary per suite and fails if
# any suite failed.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

failed=()
summary=()

run_suite() {
  local preset=$1
  local start=$SECONDS
  echo "=== $preset: configure and build"
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset"; then
    failed+=("$preset (build)")
    summary+=("$preset: build failed")
    return
  fi
  echo "=== $preset: tests"
  local log
  log=$(mktemp)
  if ctest --preset "$preset" 2>&1 | tee "$log"; [[ ${PIPESTATUS[0]} -ne 0 ]]; then
    failed+=("$preset")
  fi
  # ctest counts a skipped test as passed; here a test that should have run
  # and did not fails the run.
  local skipped
  skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .* \((Skipped|Disabled)\)$' "$log")
  if ((skipped > 0)); then
    failed+=("$preset ($skipped skipped)")
  fi
  summary+=("$preset: $(grep -E 'tests passed|tests failed' "$log" | tail -n 1), $skipped skipped ($((SECONDS - start)) s)")
  # The summary is often all that is kept of a run, so it names what failed.
  local failures
  failures=$(sed -n '/^The following tests FAILED:/,$p' "$log" | grep -E '^[[:space:]]+[0-9]+ - ' | sed -E 's/^[[:space:]]+/    failed: /')
  if [[ -n $failures ]]; then
    summary+=("$failures")
  fi
  rm -f "$log"
}

run_suite linux
run_suite linux-asan
scripts/wine-session.sh
run_suite windows
run_suite windows-clang

if [[ -x scripts/run-fuzz-smoke.sh ]]; then
  if scripts/run-fuzz-smoke.sh; then
    summary+=("fuzz smoke: passed")
  else
    failed+=("fuzz smoke")
    summary+=("fuzz smoke: failed")
  fi
fi

echo
echo "=== Summary"
printf '  %s\n' "${summary[@]}"
if ((${#failed[@]})); then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All suites passed."

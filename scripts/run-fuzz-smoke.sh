#!/usr/bin/env bash
# Builds the channel codec's libFuzzer target (preset linux-fuzz: clang,
# ASan/UBSan) and runs it for a minute over a copy of the seed corpus. Fails
# when the fuzzer finds a crash, a leak or a broken round trip.
#   VELMO_FUZZ_BUILD_DIR  build directory (default build/linux-fuzz)
#   VELMO_FUZZ_SECONDS    run time (default 60)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build_dir=${VELMO_FUZZ_BUILD_DIR:-build/linux-fuzz}
seconds=${VELMO_FUZZ_SECONDS:-60}

echo "=== fuzz smoke: configure and build ($build_dir)"
cmake --preset linux-fuzz -B "$build_dir" >/dev/null
cmake --build "$build_dir" --target channels_fuzzer -j2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/artifacts"
cp channels/fuzz/corpus/* "$work/corpus/"

echo "=== fuzz smoke: channels_fuzzer for ${seconds} s"
# Crash inputs land in the scratch artifacts folder; keep them when failing.
# The target itself fails a decode that holds more heap than the message's size
# allows; no single allocation may reach 16 MB either. The codec's diagnostic
# lines (one per malformed step) are discarded, which runs ten times faster.
if ! "$build_dir/channels/channels_fuzzer" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -malloc_limit_mb=16 -max_len=8192 -close_fd_mask=2 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/fuzz.log" 2>&1; then
  tail -n 60 "$work/fuzz.log"
  mkdir -p "$build_dir/fuzz-artifacts"
  cp -r "$work/artifacts/." "$build_dir/fuzz-artifacts/" 2>/dev/null || true
  echo "fuzz smoke: FAILED (inputs kept in $build_dir/fuzz-artifacts)"
  exit 1
fi
# The run prints a line per new input and the codec's diagnostics; keep the
# test log readable with the closing statistics only.
grep -E '^(Done|stat::)' "$work/fuzz.log" || tail -n 5 "$work/fuzz.log"
echo "fuzz smoke: passed"

#!/usr/bin/env bash
# Builds the native preset and runs every benchmark program it has.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
cmake --preset linux >/dev/null
cmake --build --preset linux
find build/linux -type f -name '*_benchmark' -perm -u+x | sort | while read -r b; do
  echo "=== $b"
  "$b" --benchmark_min_time=0.2
done

# Windows-only code (the overlay's GDI+ drawing) is measured under Wine.
if scripts/fetch-benchmark-source.sh; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target overlay_benchmark
  echo "=== build/windows/testbin/overlay_benchmark.exe (under Wine)"
  scripts/wine-run build/windows/testbin/overlay_benchmark.exe --benchmark_min_time=0.5
else
  echo "=== Windows benchmarks skipped: Google Benchmark's source could not be fetched"
fi

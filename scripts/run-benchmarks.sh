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

#!/usr/bin/env bash
# The host's main job, shown for real: builds the Windows bundle, starts it
# under Wine with the test driver playing the Flutter side, and leaves
# screenshots and the channel transcript in out/demo/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
cmake --preset windows >/dev/null
cmake --build --preset windows
scripts/wine-session.sh
mkdir -p out/demo
exec python3 tests/e2e/demo.py out/demo

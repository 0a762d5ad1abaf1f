#!/usr/bin/env bash
# The host's main job, shown for real: builds the Windows bundle, starts it
# under Wine with the test driver playing the Flutter side, and leaves
# screenshots, the channel transcript and a screen recording of the whole run
# (demo.mp4) in out/demo/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
cmake --preset windows >/dev/null
cmake --build --preset windows
scripts/wine-session.sh
source scripts/wine-env.sh
out=out/demo
mkdir -p "$out"
rm -f "$out/demo.mp4"

# The virtual display as a person would have seen it: 10 frames a second,
# mostly still pictures, so a run of a minute or two stays a few MB.
screen=$(xdpyinfo -display "$DISPLAY" | awk '/dimensions:/ {print $2}')
ffmpeg -loglevel error -nostdin -f x11grab -framerate 10 -video_size "$screen" -i "$DISPLAY" \
  -c:v libx264 -preset veryfast -crf 28 -pix_fmt yuv420p -movflags +faststart \
  "$out/demo.mp4" &
recorder=$!
stop_recording() {
  # ffmpeg finishes the file on SIGINT.
  kill -INT "$recorder" 2>/dev/null || true
  wait "$recorder" 2>/dev/null || true
}
trap stop_recording EXIT

status=0
python3 tests/e2e/demo.py "$out" || status=$?
stop_recording
trap - EXIT
if [[ ! -s "$out/demo.mp4" ]]; then
  echo "demo: no screen recording was made" >&2
  exit 1
fi
echo "Screen recording: $out/demo.mp4 ($(du -h "$out/demo.mp4" | cut -f1))"
exit "$status"

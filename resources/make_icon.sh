#!/usr/bin/env bash
# Draws the application icon (a speech bubble carrying a sound wave on the
# frame's dark colour) and writes velmo.ico with seven 32-bit sizes. Run by
# hand when the design changes; the result is committed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert -size 256x256 xc:none \
  -fill '#161a24' -draw 'roundrectangle 8,8 247,247 52,52' \
  -fill '#5b8cff' -draw 'roundrectangle 40,52 216,176 40,40' \
  -fill '#5b8cff' -draw 'polygon 72,168 120,168 64,220' \
  -fill '#f5f6fa' \
  -draw 'roundrectangle 70,104 86,124 8,8' \
  -draw 'roundrectangle 98,84 114,144 8,8' \
  -draw 'roundrectangle 126,70 142,158 8,8' \
  -draw 'roundrectangle 154,92 170,136 8,8' \
  -draw 'roundrectangle 182,106 198,122 8,8' \
  "PNG32:$work/velmo-256.png"

sizes=(16 24 32 48 64 128 256)
layers=()
for size in "${sizes[@]}"; do
  convert "$work/velmo-256.png" -filter Lanczos -resize "${size}x${size}" "PNG32:$work/velmo-$size.png"
  layers+=("$work/velmo-$size.png")
done
convert "${layers[@]}" velmo.ico

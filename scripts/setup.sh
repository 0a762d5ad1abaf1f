#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine. Safe to run
# again: only missing packages are installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang lld clang-format libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev googletest
  g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-x86-64
  wine64 wine fonts-wine
  xvfb xdotool x11-utils imagemagick xcompmgr
  pulseaudio pulseaudio-utils sox wabt
  fonts-noto-cjk
  fonts-liberation
  python3 python3-pytest
  ffmpeg
  dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# The RNNoise build fetches its package with npm. A Node.js that brings its
# own npm (NodeSource's does) is enough, and Debian's npm would conflict with it.
if ! command -v npm >/dev/null 2>&1; then
  missing+=(npm)
fi

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

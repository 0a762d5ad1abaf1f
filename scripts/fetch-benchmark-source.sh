#!/usr/bin/env bash
# Fetches Debian's Google Benchmark source into build/deps, so that benchmarks
# of Windows-only code (GDI+ drawing) can be built for Windows and run under
# Wine. Uses a private source list and index, leaving the system's apt
# configuration untouched. Idempotent.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
deps=build/deps
version=1.7.1
[[ -f "$deps/benchmark-$version/CMakeLists.txt" ]] && exit 0

apt_dir=$(realpath -m "$deps/apt")
mkdir -p "$apt_dir/lists/partial" "$deps"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
  >"$apt_dir/sources.list"
options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
         -o "Dir::State::Lists=$apt_dir/lists" -q)
apt-get "${options[@]}" update >/dev/null
(cd "$deps" && apt-get "${options[@]}" source "benchmark=$version-1" >/dev/null 2>&1)
test -f "$deps/benchmark-$version/CMakeLists.txt"

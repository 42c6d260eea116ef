#!/usr/bin/env bash
# Configures and builds one tree: scripts/build.sh release|sanitize|windows
# (windows: build-win64/ and build-win32/, cross-built with mingw-w64).
# JOBS sets the number of parallel compile jobs (default: all processors).
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-release}
jobs=${JOBS:-$(nproc)}
case "$kind" in
  release)  trees=("build|-DCMAKE_BUILD_TYPE=Release") ;;
  sanitize) trees=("build-sanitize|-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=ON") ;;
  windows)  trees=("build-win64|-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake"
                   "build-win32|-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake") ;;
  *) echo "usage: scripts/build.sh release|sanitize|windows" >&2; exit 2 ;;
esac

for tree in "${trees[@]}"; do
  dir=${tree%%|*}
  read -r -a flags <<<"${tree#*|}"
  cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
done

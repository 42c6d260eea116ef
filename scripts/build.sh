#!/usr/bin/env bash
# Configures and builds one tree: scripts/build.sh release|sanitize
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-release}
case "$kind" in
  release)  dir=build;          flags=(-DCMAKE_BUILD_TYPE=Release) ;;
  sanitize) dir=build-sanitize; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=ON) ;;
  *) echo "usage: scripts/build.sh release|sanitize" >&2; exit 2 ;;
esac

cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"

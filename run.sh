#!/usr/bin/env bash
# Installs what is missing, builds the release tree, and shows the tools at work
# on small examples made on the spot.
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup.sh
scripts/build.sh release
bin=$PWD/build/bin

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo
echo "== fennick: replace @THREADS@ by the processor count minus one =="
mkdir -p "$work/conf"
printf 'workers=@THREADS@\nspare=1\n' >"$work/conf/server.ini"
printf 'jobs=@THREADS@ # build\n' >"$work/conf/build.ini"
(
  cd "$work"
  echo "before:"; cat conf/server.ini conf/build.ini
  "$bin/fennick" 'conf/*.ini' @THREADS@ -1
  echo "after:"; cat conf/server.ini conf/build.ini
)

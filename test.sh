#!/usr/bin/env bash
# Installs what is missing, builds a release and a sanitizer tree, runs every test in both,
# then the same for the Windows trees under wine.
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup.sh
status=0
for kind in release sanitize; do
  scripts/build.sh "$kind"
done
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for dir in build build-sanitize; do
  echo "== tests in $dir =="
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" || status=1
done
# The Windows builds, cross-built with mingw-w64; their tests run the programs
# under wine and compare their output with the release tree's.
echo "== Windows builds and their tests under wine =="
start=$SECONDS
scripts/build.sh windows
for dir in build-win64 build-win32; do
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" || status=1
done
echo "Windows part: $((SECONDS - start)) s"
# A short run of every fuzz harness, so that each one builds and still finds nothing.
echo "== fuzz harnesses =="
FUZZ_PARALLEL=2 fuzz/run.sh "${FUZZ_SECONDS:-5}" || status=1
exit $status

#!/usr/bin/env bash
# fuzz/run.sh [SECONDS] [HARNESS...]: builds the libFuzzer harnesses in
# build-fuzz/ (clang-14, ASan, UBSan) and runs each for SECONDS (default 30),
# every input held to 2 GiB of memory and 25 s. Exits non-zero on any finding
# (crash, failed property, leak, timeout, memory over the limit); the input
# that showed it is kept in build-fuzz/findings/.
#
# Corpora grow in build-fuzz/corpus/<harness> and are never committed; the
# seeds come from fuzz/make_seeds.sh, which needs the release tree (build/).
#
# Environment: FUZZ_BUILD (tree, default build-fuzz), FUZZ_PARALLEL (harnesses
# at a time, default 1), FUZZ_ARGS (more libFuzzer options, e.g. -runs=N).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-30}
shift || true
build=${FUZZ_BUILD:-$root/build-fuzz}
parallel=${FUZZ_PARALLEL:-1}

# The harness list lives in one place, harnesses.cmake.
mapfile -t all < <(sed -n 's/^set(FUZZ_HARNESSES \(.*\))$/\1/p' fuzz/harnesses.cmake | tr ' ' '\n')
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=("${all[@]}")

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j 2

# Seeds are made again whenever the script that makes them changes.
stamp=$(cksum <fuzz/make_seeds.sh)
if [ "$(cat "$build/seeds/complete" 2>/dev/null)" != "$stamp" ]; then
  [ -x build/bin/orvane ] && [ -x build/bin/sumbrel ] || scripts/build.sh release
  rm -rf "$build/seeds"
  FUZZ_BIN="$build/bin" fuzz/make_seeds.sh "$build/seeds"
  echo "$stamp" >"$build/seeds/complete"
fi

# Longest input: a restore or compression job, and a decoder run, cost in
# proportion to it, and longer inputs reach no more of the code.
max_len_of() {
  case "$1" in
    sumbrel_module | sumbrel_restore) echo 16384 ;;
    coder_literals | sumbrel_restore2) echo 4096 ;;
    *) echo 131072 ;;
  esac
}

dict_of() {
  case "$1" in
    standin_decompress | orvane_scan) echo fuzz/dict/standin.dict ;;
    orvane_decode) echo fuzz/dict/container.dict ;;
    mp3_frames | sumbrel_restore2) echo fuzz/dict/mp3.dict ;;
    sumbrel_module | sumbrel_restore) echo fuzz/dict/sumbrel.dict ;;
  esac
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$build/logs" "$build/findings"
# Harnesses that need files keep them here; libFuzzer's exit leaves them behind.
export TMPDIR="$build/tmp"
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"

run_one() {
  local h=$1 dict
  dict=$(dict_of "$h")
  mkdir -p "$build/corpus/$h"
  # shellcheck disable=SC2086
  "$build/bin/fuzz-$h" "$build/corpus/$h" "$build/seeds/$h" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=2048 -timeout=25 \
    -max_len="$(max_len_of "$h")" ${dict:+-dict=$dict} -artifact_prefix="$build/findings/$h-" -print_final_stats=1 \
    ${FUZZ_ARGS:-} >"$build/logs/$h.log" 2>&1
}

summary() {
  local h=$1 log="$build/logs/$1.log"
  local cov execs rate
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "$h: edges ${cov:-?}, executions ${execs:-?}, ${rate:-?} exec/s"
}

for h in "${harnesses[@]}"; do
  [ -x "$build/bin/fuzz-$h" ] || { echo "no harness $h" >&2; exit 2; }
done
running=0
for h in "${harnesses[@]}"; do
  if [ "$running" -ge "$parallel" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  rm -f "$build/logs/$h.rc"
  (
    status=0
    run_one "$h" || status=$?
    echo "$status" >"$build/logs/$h.rc"
  ) &
  running=$((running + 1))
done
wait

failed=()
for h in "${harnesses[@]}"; do
  if [ "$(cat "$build/logs/$h.rc" 2>/dev/null)" = 0 ]; then
    summary "$h"
  else
    echo "FINDING in $h (log: $build/logs/$h.log)"
    grep -E '==ERROR|^SUMMARY|property failed|runtime error|Test unit written|ERROR: libFuzzer' \
      "$build/logs/$h.log" | head -20 || true
    failed+=("$h")
  fi
done

rm -rf "$TMPDIR"

# The closing line in the form test runners print.
echo "fuzz: $((${#harnesses[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]

#!/usr/bin/env bash
# bench/compare-model.sh [REV] [ROUNDS] [SECONDS]: the model's speed of this tree against REV
# (default 9395c41), side by side on one machine in one run. REV is built in a temporary work
# tree with this tree's bench-model source, so both builds run the same benchmark on the same
# clips; the two bench-models then run alternately ROUNDS times (default 5, one core each via
# taskset), and the best speed per kind and direction is compared. The same is done end to end
# with `sumbrel compress` and `restore` on the music-like clips. Fails when a coded stream or a
# decoded file of any mode (normal, budget, repack, repack+budget) differs between the builds,
# or when an end-to-end round trip differs. Needs the release tree (scripts/build.sh release).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rev=${1:-9395c41}
rounds=${2:-5}
seconds=${3:-30}
new=$root/build/bin
[ -x "$new/bench-model" ] && [ -x "$new/sumbrel" ] || { echo "build the release tree first" >&2; exit 2; }

work=$(mktemp -d /tmp/compare-model-XXXXXX)
cleanup() {
  git -C "$root" worktree remove --force "$work/old" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
git -C "$root" worktree add --detach "$work/old" "$rev" >/dev/null 2>&1
cp bench/model/* "$work/old/bench/model/"
echo "building $rev in $work/old ..."
cmake -S "$work/old" -B "$work/old-build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/old-build" -j "$(nproc)" --target bench-model sumbrel-host libsumbrel >/dev/null
old=$work/old-build/bin
one_core="taskset -c 0"

# Model alone, alternating; the coded streams and decoded files of the first round are compared.
mkdir -p "$work/clips"
for round in $(seq "$rounds"); do
  for build in old new; do
    dump=$work/$build-$round
    bin=$old
    [ $build = new ] && bin=$new
    $one_core "$bin/bench-model" "$seconds" 1 --clips "$work/clips" --dump "$dump" >/dev/null
    [ "$round" = 1 ] || find "$dump" -name '*.coded' -o -name '*.decoded' | xargs rm -f
  done
done
differ=0
for f in "$work"/old-1/*.coded "$work"/old-1/*.decoded; do
  if ! cmp -s "$f" "$work/new-1/$(basename "$f")"; then
    echo "DIFFERS: $(basename "$f")"
    differ=1
  fi
done

best() {  # best() BUILD: kind, best encode, best decode over the rounds
  cat "$work"/"$1"-*/speeds.tsv | awk -F'\t' '
    { if ($2 > e[$1]) e[$1] = $2; if ($3 > d[$1]) d[$1] = $3; if (!($1 in seen)) { seen[$1] = 1; order[n++] = $1 } }
    END { for (i = 0; i < n; i++) printf "%s\t%s\t%s\n", order[i], e[order[i]], d[order[i]] }'
}
echo
echo "bench-model, one core, best of $rounds alternating runs, $seconds s clips ($(nproc) cores)"
printf "%-16s %12s %12s %12s %12s %9s %9s\n" kind "old enc" "new enc" "old dec" "new dec" "enc x" "dec x"
join -t $'\t' <(best old) <(best new) | awk -F'\t' '
  { printf "%-16s %7.2f MB/s %7.2f MB/s %7.2f MB/s %7.2f MB/s %8.2fx %8.2fx\n", $1, $2, $4, $3, $5, $4 / $2, $5 / $3 }'

# End to end on the music-like clips: the command and library of each build, one core.
echo
echo "sumbrel compress / restore end to end, one core, best of $rounds alternating runs"
mkdir -p "$work/e2e"
cp "$work"/clips/music-*.mp3 "$work/e2e/"
now() { date +%s.%N; }
for build in old new; do echo "1e30 1e30" >"$work/$build.e2e"; done
# Format 1 is what both builds write alike; a build that writes format 2 by default is asked
# for format 1.
format_of() { "$1/sumbrel" --help 2>/dev/null | grep -q -- "--format" && echo "--format 1"; true; }
for round in $(seq "$rounds"); do
  for build in old new; do
    bin=$old
    [ $build = new ] && bin=$new
    rm -rf "$work/e2e-$build" && mkdir -p "$work/e2e-$build"
    cp "$work"/e2e/*.mp3 "$work/e2e-$build/"
    t0=$(now)
    # shellcheck disable=SC2046
    $one_core "$bin/sumbrel" compress -j 1 $(format_of "$bin") "$work/e2e-$build"/*.mp3 >/dev/null
    t1=$(now)
    for f in "$work/e2e-$build"/*.mp3; do mv "$f" "$f.orig"; done
    $one_core "$bin/sumbrel" restore -j 1 "$work/e2e-$build"/*.sbk >/dev/null
    t2=$(now)
    read -r c r <"$work/$build.e2e"
    awk -v c="$c" -v r="$r" -v t0="$t0" -v t1="$t1" -v t2="$t2" \
      'BEGIN { a = t1 - t0; b = t2 - t1; printf "%s %s\n", (a < c ? a : c), (b < r ? b : r) }' >"$work/$build.e2e"
    for f in "$work/e2e-$build"/*.orig; do
      cmp -s "$f" "${f%.orig}" || { echo "DIFFERS: $build restore of $(basename "${f%.orig}")"; differ=1; }
    done
  done
  for f in "$work"/e2e-old/*.sbk; do
    cmp -s "$f" "$work/e2e-new/$(basename "$f")" || { echo "DIFFERS: $(basename "$f")"; differ=1; }
  done
done
mb=$(cat "$work"/e2e/*.mp3 | wc -c | awk '{ print $1 / 1e6 }')
read -r oc or <"$work/old.e2e"
read -r nc nr <"$work/new.e2e"
awk -v mb="$mb" -v oc="$oc" -v or="$or" -v nc="$nc" -v nr="$nr" 'BEGIN {
  printf "compress %.2f MB: old %.2f MB/s, new %.2f MB/s, %.2fx\n", mb, mb / oc, mb / nc, oc / nc
  printf "restore  %.2f MB: old %.2f MB/s, new %.2f MB/s, %.2fx\n", mb, mb / or, mb / nr, or / nr }'
[ "$differ" = 0 ] && echo "coded bytes: identical in every kind and mode" || { echo "coded bytes DIFFER"; exit 1; }

#!/usr/bin/env bash
# orvane.exe and its stand-in codec under wine against the Linux build: the
# same sample archive, the same containers, each system decoding and testing
# the other's, bytes that text mode would change, the codec found beside the
# program, damaged containers refused, an older container still decoded, and
# the exit codes of wrong use.
set -euo pipefail
: "${WINE:?}" "${WIN_BIN:?}" "${LINUX_BIN:?}"
for f in "$LINUX_BIN/orvane" "$LINUX_BIN/orvane-sample"; do
  [ -x "$f" ] || { echo "missing $f: build the Linux release tree first (scripts/build.sh release)"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }
win() { "$WINE" "$@"; }

# The sample writer compresses with each system's stand-in, so equal samples
# mean equal codec streams.
"$LINUX_BIN/orvane-sample" 2000000 7 >sample
win "$WIN_BIN/orvane-sample.exe" 2000000 7 >sample.win
cmp -s sample sample.win || fail "orvane-sample.exe and the Linux orvane-sample differ"

# Runs of CR, LF, ^Z and NUL, with a stream of the sample in the middle and ^Z
# at both ends, as text-mode handles would damage them.
map=$(printf '\\r\\n\\032\\000%.0s' {1..64})
{ printf '\032'; head -c 300000 /dev/urandom | tr '\000-\377' "$map"; head -c 400000 sample
  head -c 300000 /dev/urandom | tr '\000-\377' "$map"; printf '\r\n\032'; } >textbytes
: >empty

for input in sample textbytes empty; do
  win "$WIN_BIN/orvane.exe" e <"$input" >"$input.orv.win" 2>err || fail "$input: orvane.exe e failed: $(cat err)"
  [ ! -s err ] || fail "$input: orvane.exe e wrote: $(cat err)"
  "$LINUX_BIN/orvane" e <"$input" >"$input.orv"
  cmp -s "$input.orv" "$input.orv.win" || fail "$input: the containers of the two systems differ"
  "$LINUX_BIN/orvane" d <"$input.orv.win" >"$input.back" || fail "$input: Linux orvane d failed"
  cmp -s "$input" "$input.back" || fail "$input: Linux orvane d did not give the input back"
  win "$WIN_BIN/orvane.exe" d <"$input.orv" >"$input.back.win" 2>err || fail "$input: orvane.exe d failed: $(cat err)"
  cmp -s "$input" "$input.back.win" || fail "$input: orvane.exe d did not give the input back"
  [ ! -s err ] || fail "$input: orvane.exe d wrote: $(cat err)"
  win "$WIN_BIN/orvane.exe" t <"$input.orv" >out 2>err || fail "$input: orvane.exe t failed: $(cat err)"
  [ ! -s out ] && [ ! -s err ] || fail "$input: orvane.exe t wrote something"
done
# Through pipes, which deliver the bytes in pieces.
cat sample | win "$WIN_BIN/orvane.exe" e | win "$WIN_BIN/orvane.exe" d | cmp -s sample - ||
  fail "orvane.exe e | orvane.exe d through pipes did not give the sample back"
# Streams were kept (their contents make the container larger than the input).
[ "$(stat -c %s sample.orv)" -gt $(( $(stat -c %s sample) * 3 / 2 )) ] || fail "the sample's container kept no streams"

# The codec is looked up in the program's folder, not the current one, and a
# library named oo2core_6_ is taken before the _7_ name is tried.
mkdir elsewhere
cp "$WIN_BIN/orvane.exe" elsewhere/
cp "$WIN_BIN/oo2core_7_win64.dll" elsewhere/oo2core_6_win64.dll
win elsewhere/orvane.exe e <sample >moved.orv
cmp -s sample.orv moved.orv || fail "orvane.exe did not use oo2core_6_win64.dll beside it"

# Without a codec: a warning, a container without streams, and a container with
# streams refused with exit code 1.
rm elsewhere/oo2core_6_win64.dll
win elsewhere/orvane.exe e <sample >plain.orv 2>err || fail "encode without codec failed"
grep -q "no codec library" err || fail "no warning without a codec: $(cat err)"
"$LINUX_BIN/orvane" d <plain.orv | cmp -s sample - || fail "the container made without codec does not decode"
if win elsewhere/orvane.exe d <sample.orv >/dev/null 2>err; then fail "decoded streams without a codec"; fi
[ -s err ] || fail "no message when decoding streams without a codec"

# A container cut short, or with one bit of a stream's contents flipped, fails
# with a message and exit code 1, also on Windows; the flip is named as damage.
head -c -3 sample.orv >cut.orv
status=0; win "$WIN_BIN/orvane.exe" d <cut.orv >/dev/null 2>err || status=$?
[ "$status" = 1 ] || fail "a cut container: exit code $status"
grep -q "orvane:" err || fail "no message for a cut container"
at=$(( $(stat -c %s sample.orv) / 2 ))
byte=$(od -An -tu1 -j "$at" -N1 sample.orv | tr -d ' ')
{ head -c "$at" sample.orv; printf "\\$(printf %03o $((byte ^ 4)))"; tail -c +$((at + 2)) sample.orv; } >flipped.orv
cmp -s sample.orv flipped.orv && fail "the flip changed nothing"
for mode in d t; do
  status=0; win "$WIN_BIN/orvane.exe" $mode <flipped.orv >/dev/null 2>err || status=$?
  [ "$status" = 1 ] || fail "orvane.exe $mode on a flipped bit: exit code $status"
  grep -q "damaged container" err || fail "orvane.exe $mode on a flipped bit: $(cat err)"
done

# A container of the older layout decodes, with one line saying it is unverified.
win "$WIN_BIN/orvane.exe" d <"$SOURCE_DIR/tests/orvane/data/plain-layout.orv" >plain.back 2>err ||
  fail "orvane.exe d on the older layout failed: $(cat err)"
cmp -s plain.back "$SOURCE_DIR/tests/orvane/data/plain-layout.input" || fail "the older layout decoded wrongly"
grep -q "could not be verified" err || fail "no warning for the older layout: $(cat err)"

# Wrong use writes nothing and exits 2; --help exits 0.
for args in "" "-d" "decode" "e -9"; do
  status=0; win "$WIN_BIN/orvane.exe" $args <sample.orv >out 2>err || status=$?
  [ "$status" = 2 ] && [ ! -s out ] || fail "orvane.exe $args: exit code $status"
done
win "$WIN_BIN/orvane.exe" --help >out || fail "orvane.exe --help failed"
grep -q "orvane t" out || fail "orvane.exe --help shows no usage"
status=0; win "$WIN_BIN/orvane-sample.exe" -5 >out 2>err || status=$?
[ "$status" = 2 ] && [ ! -s out ] || fail "orvane-sample.exe -5: exit code $status"
echo "orvane.exe: all checks passed"

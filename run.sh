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

echo
echo "== orvane: replace codec streams by their contents, then rebuild them =="
(
  cd "$work"
  # Random and text bytes with stand-in codec streams at mixed levels inside.
  "$bin/orvane-sample" 3000000 >sample.bin
  "$bin/orvane" e <sample.bin >sample.orv
  "$bin/orvane" d <sample.orv >sample.out
  printf 'input     %10d bytes\n' "$(stat -c %s sample.bin)"
  printf 'container %10d bytes (streams stored as their contents)\n' "$(stat -c %s sample.orv)"
  printf 'decoded   %10d bytes\n' "$(stat -c %s sample.out)"
  if cmp -s sample.bin sample.out; then echo "decoded bytes are identical to the input"; else echo "MISMATCH"; exit 1; fi
  # t rebuilds everything and checks it against the container's checksums, writing nothing.
  "$bin/orvane" t <sample.orv && echo "orvane t: the container rebuilds its input exactly (checksums match)"
)

echo
echo "== sumbrel: parse every frame of an MP3 file and rebuild it bit for bit =="
(
  cd "$work"
  # Two seconds of noise as a 44.1 kHz 16-bit stereo WAV file, encoded with lame.
  le() { local v=$1 n=$2; for ((i = 0; i < n; i++)); do printf "\\x$(printf %02x $(((v >> (8 * i)) & 255)))"; done; }
  bytes=352800
  { printf RIFF; le $((36 + bytes)) 4; printf 'WAVEfmt '; le 16 4; le 1 2; le 2 2
    le 44100 4; le 176400 4; le 4 2; le 16 2; printf data; le $bytes 4
    head -c $bytes /dev/urandom; } >noise.wav
  lame --quiet -V 4 noise.wav noise.mp3
  "$bin/mp3frames" noise.mp3
)

echo
echo "== sumbrel: compress MP3 files losslessly, restore them, compare =="
(
  cd "$work"
  mkdir sumbrel-demo
  # The clip above, once more as freshly made VBR and CBR files.
  lame --quiet -V 4 noise.wav sumbrel-demo/vbr.mp3
  lame --quiet -b 128 noise.wav sumbrel-demo/cbr.mp3
  cd sumbrel-demo
  "$bin/sumbrel" compress -j 2 --verify vbr.mp3 cbr.mp3
  mkdir originals && mv vbr.mp3 cbr.mp3 originals/
  "$bin/sumbrel" restore vbr.mp3.sbk cbr.mp3.sbk
  "$bin/sumbrel" info vbr.mp3.sbk cbr.mp3.sbk
  for f in vbr.mp3 cbr.mp3; do
    if cmp -s "originals/$f" "$f"; then echo "$f: restored bytes are identical"; else echo "$f: MISMATCH"; exit 1; fi
  done
)

#!/usr/bin/env bash
# The plug-in's module on Windows (format_host.exe of the 64-bit tree, under wine) against the
# Linux library: generated MP3 files of each kind compress to the same bytes in both formats,
# and each system restores the other's files exactly.
# shellcheck source=sumbrel_common.sh
. "$(dirname "$0")/sumbrel_common.sh"
win() { "$WINE" "$WIN_BIN/format_host.exe" "$@" | tr -d '\r'; }
wav 44100 2 >a.wav; wav 22050 2 >b.wav; wav 8000 3 >c.wav
lame --quiet -V 4 a.wav mpeg1.mp3
lame --quiet -b 112 -m f a.wav midside.mp3
lame --quiet -b 64 b.wav mpeg2.mp3
lame --quiet -b 16 -m m c.wav mpeg25.mp3

for f in mpeg1 midside mpeg2 mpeg25; do
  for format in 1 2; do
    "$LINUX_BIN/sumbrel" compress -q -f --format $format -o $f.lin$format.sbk $f.mp3
    out=$(win $format 0 $f.mp3 $f.win$format.sbk)
    [ "$out" = result=0 ] || fail "$f format $format compress: $out"
    cmp -s $f.lin$format.sbk $f.win$format.sbk || fail "$f: the two systems wrote different format-$format bytes"
    out=$(win $format 1 $f.lin$format.sbk $f.back$format.mp3)
    [ "$out" = result=0 ] || fail "$f format $format restore: $out"
    cmp -s $f.mp3 $f.back$format.mp3 || fail "$f: Windows restored the Linux format-$format file wrongly"
  done
  out=$(win 2 2 $f.lin2.sbk x)
  [ "$out" = result=0 ] || fail "$f: the check of a whole file failed: $out"
  [ ! -e x ] || fail "$f: the check wrote a file"
done
# One flipped bit in the coded part fails on Windows too, and leaves nothing.
cp mpeg1.win2.sbk flipped.sbk
printf '\x55' | dd of=flipped.sbk bs=1 seek=100 conv=notrunc status=none
out=$(win 2 1 flipped.sbk flipped.mp3 || true)
[ "$out" = result=1 ] || fail "a flipped format-2 file restored: $out"
[ ! -e flipped.mp3 ] || fail "a failed restore left a file"
echo "format_host.exe and libsumbrel.so agree on both formats"

#!/usr/bin/env bash
# sumbrel.dll under wine through abi_host.exe, a C host that knows only the
# binary interface: generated MP3 files (MPEG-1, 2 and 2.5, damaged, not MP3)
# compress to exactly the Linux library's bytes and restore exactly; members
# and progress after a job; a cancelled job; the queries' edge cases; and
# mp3frames.exe.
# shellcheck source=sumbrel_common.sh
. "$(dirname "$0")/sumbrel_common.sh"
host() { "$WINE" "$WIN_BIN/abi_host.exe" "$WIN_BIN/sumbrel.dll" "$@" | tr -d '\r'; }
size() { stat -c %s "$1"; }
wav 44100 2 >a.wav; wav 22050 2 >b.wav; wav 8000 3 >c.wav
lame --quiet -V 4 a.wav mpeg1.mp3
lame --quiet -b 64 b.wav mpeg2.mp3
lame --quiet -b 16 -m m c.wav mpeg25.mp3
{ head -c 9000 mpeg1.mp3; head -c 777 /dev/urandom; tail -c +9001 mpeg1.mp3 | head -c -333; } >damaged.mp3
head -c 30000 /dev/urandom >notmp3.mp3

for f in mpeg1 mpeg2 mpeg25 damaged notmp3; do
  out=$(host compress $f.mp3 $f.mp3.sbk)
  total=$(size $f.mp3) coded=$(size $f.mp3.sbk)
  case "$out" in
    "result=0 total=$total done=$total coded=$coded "*" calls="*" last=$total,$total,$coded") ;;
    *) fail "$f compress: $out (mp3 $total bytes, compressed $coded)" ;;
  esac
  "$LINUX_BIN/sumbrel" compress -q --format 1 -o $f.lin.sbk $f.mp3
  cmp -s $f.lin.sbk $f.mp3.sbk || fail "$f: sumbrel.dll and libsumbrel.so wrote different bytes"
  out=$(host restore $f.mp3.sbk $f.back.mp3)
  case "$out" in "result=0 total=$total done=$total "*) ;; *) fail "$f restore: $out" ;; esac
  cmp -s $f.mp3 $f.back.mp3 || fail "$f: restored bytes differ"
done
grep -q "frames=0 " <(host compress mpeg1.mp3 again.sbk) && fail "no frames counted for mpeg1.mp3"
# The public header's C part reaches the same slots and members.
out=$("$WINE" "$WIN_BIN/header_host.exe" "$WIN_BIN/sumbrel.dll" mpeg2.mp3 header.sbk | tr -d '\r')
[ "$out" = "result=0 frames=$(sed -n 's/.* frames=\([0-9]*\) .*/\1/p' <<<"$(host compress mpeg2.mp3 again.sbk)") calls=$(sed -n 's/.* calls=\([0-9]*\) .*/\1/p' <<<"$(host compress mpeg2.mp3 again.sbk)") listener=ok" ] ||
  fail "header_host: $out"
cmp -s header.sbk mpeg2.mp3.sbk || fail "header_host wrote other bytes"
rm -f again.sbk header.sbk
[ "$(head -c 4 notmp3.mp3.sbk | od -An -tx1 | tr -d ' ')" = 05040500 ] || fail "random bytes not stored"

out=$(host cancel mpeg1.mp3 cancelled.sbk)
case "$out" in "result=1 "*" cancel=1 "*) ;; *) fail "cancel: $out" ;; esac
[ ! -e cancelled.sbk ] || fail "a cancelled job left its output"
[ -z "$(ls -A | grep -v -E '\.(mp3|sbk|wav)$')" ] || fail "files left behind: $(ls -A)"

# Past 4 GiB a 32-bit position would wrap to a small length (sparse, so it costs no disk).
truncate -s $(( (1 << 32) + 100 )) big.mp3
out=$(host compress big.mp3 big.mp3.sbk)
case "$out" in "result=1 "*) ;; *) fail "a file of 4 GiB was taken: $out" ;; esac
rm big.mp3
[ ! -e big.mp3.sbk ] || fail "output left for a file of 4 GiB"

query() { out=$(host query "$1"); [ "$out" = "$2" ] || fail "query $1: '$out', expected '$2'"; }
saved=$(( $(size mpeg1.mp3) - $(size mpeg1.mp3.sbk) ))
out=$(host query mpeg1.mp3.sbk)
case "$out" in "supported=1 percent="*" bytes=$saved") ;; *) fail "query mpeg1.mp3.sbk: $out" ;; esac
query mpeg1.mp3 "supported=1 percent=0.000 bytes=0"
query notmp3.mp3.sbk "supported=1 percent=-0.013 bytes=-4"
query missing.mp3 "supported=0 percent=-1000.000 bytes=-1000"
cp mpeg1.mp3 UPPER.MP3
query UPPER.MP3 "supported=0 percent=0.000 bytes=0"
# mp3frames.exe: the frame reader and writer alone, as the Linux build reports them.
for f in mpeg25 damaged; do
  [ "$("$WINE" "$WIN_BIN/mp3frames.exe" $f.mp3 | tr -d '\r')" = "$("$LINUX_BIN/mp3frames" $f.mp3)" ] ||
    fail "mp3frames.exe $f.mp3 differs from the Linux mp3frames"
done
rc=0; "$WINE" "$WIN_BIN/mp3frames.exe" damaged.mp3 ./damaged.mp3 2>/dev/null >&2 || rc=$?
[ $rc = 2 ] || fail "mp3frames.exe wrote onto its input (exit code $rc)"
cmp -s damaged.mp3 damaged.back.mp3 || fail "mp3frames.exe damaged its input"
echo "sumbrel.dll: all checks passed"

#!/usr/bin/env bash
# sumbrel.exe under wine does what the Linux sumbrel command does: the same commands in two
# copies of one folder give the same compressed and restored bytes, summary lines, messages
# and exit codes, with two jobs at once in processes of their own, and leave nothing else;
# standard input and output carry bytes unchanged; Ctrl-C removes partial outputs.
# shellcheck source=sumbrel_common.sh
. "$(dirname "$0")/sumbrel_common.sh"
mkdir win lin
wav 44100 2 >a.wav; wav 22050 2 >b.wav
lame --quiet -V 4 a.wav win/song.mp3
lame --quiet -b 64 b.wav win/Other.MP3  # a name the library does not take as it is
head -c 5000 /dev/urandom >win/noise.bin
rm a.wav b.wav
cp -p win/* lin/
originals=$(cd win && md5sum song.mp3 Other.MP3)

# run SYSTEM ARGS...: the command in that system's folder; stdout, stderr and the exit code
# in SYSTEM.out, with the totals' time and speed left out.
run() {
  local system=$1 rc=0; shift
  if [ "$system" = win ]; then
    (cd win && "$WINE" "$WIN_BIN/sumbrel.exe" "$@" >../out 2>../err) || rc=$?
  else
    (cd lin && "$LINUX_BIN/sumbrel" "$@" >../out 2>../err) || rc=$?
  fi
  { tr -d '\r' <out | sed 's/; [0-9.]* s, [0-9.]* MB\/s$//'; tr -d '\r' <err; echo "exit $rc"; } >$system.out
}
same() {
  run win "$@"; run lin "$@"
  cmp -s win.out lin.out || fail "sumbrel $* differs:$(diff win.out lin.out)"
  for f in lin/*; do
    cmp -s "$f" "win/${f#lin/}" || fail "sumbrel $*: ${f#lin/} differs"
  done
  [ "$(ls -A win)" = "$(ls -A lin)" ] || fail "sumbrel $*: files $(ls -A win) against $(ls -A lin)"
}

same compress -j 2 song.mp3 Other.MP3
grep -q '^song.mp3 -> song.mp3.sbk: .* model-coded, [1-9][0-9]* frames$' win.out || fail "no summary: $(cat win.out)"
grep -q '^exit 0$' win.out || fail "compress failed: $(cat win.out)"
same info song.mp3.sbk Other.MP3.sbk noise.bin
# Standard input and output carry bytes unchanged (an MP3 holds CR, LF and ^Z bytes).
"$WINE" "$WIN_BIN/sumbrel.exe" compress - <win/song.mp3 >piped.sbk
cmp -s piped.sbk lin/song.mp3.sbk || fail "compress - > file wrote other bytes"
"$WINE" "$WIN_BIN/sumbrel.exe" restore - <piped.sbk >piped.mp3
cmp -s piped.mp3 lin/song.mp3 || fail "restore - > file wrote other bytes"
rm piped.sbk piped.mp3
# cmd.exe passes wildcards on as typed; the program expands them as a shell does.
[ "$(cd win && "$WINE" "$WIN_BIN/sumbrel.exe" info '*.sbk' | tr -d '\r')" = "$(cd lin && "$LINUX_BIN/sumbrel" info *.sbk)" ] ||
  fail "info '*.sbk' differs from the Linux info *.sbk"
rm win/song.mp3 win/Other.MP3 lin/song.mp3 lin/Other.MP3
same restore -j 2 song.mp3.sbk Other.MP3.sbk
[ "$(cd win && md5sum song.mp3 Other.MP3)" = "$originals" ] || fail "restored bytes differ from the originals"
[ "$(stat -c %Y win/song.mp3)" = "$(stat -c %Y lin/song.mp3)" ] || fail "the restored file has not the original's time"
# Refusals: a file that is not named as an MP3, one that is not compressed, an existing output.
same compress noise.bin
grep -q '^exit 1$' win.out || fail "noise.bin was not refused: $(cat win.out)"
same restore -o out.bin noise.bin
same compress song.mp3
grep -q 'already exists' win.out || fail "an existing output was replaced: $(cat win.out)"
same test song.mp3.sbk

# Ctrl-C (wine passes SIGINT on as the console's Ctrl-C) while two jobs run: exit code 130,
# and each job that did not end removes its partial output.
mkdir stop
wav 44100 30 >c.wav
lame --quiet -b 320 c.wav stop/1.mp3
rm c.wav
for i in 2 3 4 5 6; do cp stop/1.mp3 stop/$i.mp3; done
(cd stop && exec "$WINE" "$WIN_BIN/sumbrel.exe" compress -j 2 1.mp3 2.mp3 3.mp3 4.mp3 5.mp3 6.mp3 >../out 2>../err) &
pid=$!
for ((i = 0; i < 600; i++)); do
  compgen -G 'stop/.sumbrel-job-*' >/dev/null && break
  sleep 0.05
done
kill -INT $pid
rc=0; wait $pid || rc=$?
[ $rc = 130 ] || fail "interrupted: exit code $rc: $(cat out err)"
grep -q 'interrupted' err || fail "no interruption reported: $(cat err)"
"$LINUX_BIN/sumbrel" compress -q -o whole.sbk stop/1.mp3
for f in stop/*.sbk; do
  [ -e "$f" ] || continue
  cmp -s "$f" whole.sbk || fail "an interrupted job left a partial $f"
done
[ -z "$(ls -A stop | grep -v -E '^[1-6]\.mp3(\.sbk)?$')" ] || fail "files left behind: $(ls -A stop)"
echo "sumbrel.exe: all checks passed"

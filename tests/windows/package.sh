#!/usr/bin/env bash
# scripts/package.sh: the six archives hold what they promise, and the programs
# work unpacked on their own (the Windows ones under wine), away from the trees.
set -euo pipefail
: "${WINE:?}" "${LINUX_BIN:?}" "${SOURCE_DIR:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }
DIST=$work/dist VERSION=t "$SOURCE_DIR/scripts/package.sh" >/dev/null

contents() {  # contents ARCHIVE: the file names, sorted
  case "$1" in
    *.zip) unzip -Z1 "$1" | grep -v '/$' | sort ;;
    *) tar tzf "$1" | grep -v '/$' | sort ;;
  esac | tr '\n' ' '
}
check() { [ "$(contents "dist/$1")" = "$2" ] || fail "$1 holds: $(contents "dist/$1")"; }
check sumbrel-t-win32.zip "sumbrel-t-win32/README.txt sumbrel-t-win32/sumbrel.dll sumbrel-t-win32/sumbrel.exe sumbrel-t-win32/sumbrel.h "
check orvane-t-win64.zip "orvane-t-win64/LICENSE-lz4.txt orvane-t-win64/README.txt orvane-t-win64/oo2core_7_win64.dll orvane-t-win64/orvane.exe "
check fennick-t-win64.zip "fennick-t-win64/README.txt fennick-t-win64/fennick.exe "
check sumbrel-t-linux64.tar.gz "sumbrel-t-linux64/README.txt sumbrel-t-linux64/libsumbrel.so sumbrel-t-linux64/sumbrel sumbrel-t-linux64/sumbrel.h "
check orvane-t-linux64.tar.gz "orvane-t-linux64/oo2core_7_linux64.so orvane-t-linux64/orvane "
check fennick-t-linux64.tar.gz "fennick-t-linux64/fennick "

# Unpacked, each orvane finds its codec beside it and writes the same container.
unzip -q dist/orvane-t-win64.zip
tar xzf dist/orvane-t-linux64.tar.gz
"$LINUX_BIN/orvane-sample" 500000 3 >sample
"$LINUX_BIN/orvane" e <sample >expected.orv
"$WINE" orvane-t-win64/orvane.exe e <sample >win.orv
orvane-t-linux64/orvane e <sample >linux.orv
cmp -s expected.orv win.orv || fail "the unpacked orvane.exe wrote another container"
cmp -s expected.orv linux.orv || fail "the unpacked Linux orvane wrote another container"
[ "$(stat -c %s expected.orv)" -gt "$(stat -c %s sample)" ] || fail "no streams kept"
# Unpacked, sumbrel.exe finds sumbrel.dll beside it and writes the Linux command's bytes.
unzip -q dist/sumbrel-t-win32.zip
head -c 176400 /dev/urandom | lame --quiet -r -s 44.1 --bitwidth 16 -b 128 - song.mp3 2>/dev/null
"$LINUX_BIN/sumbrel" compress -c song.mp3 >expected.sbk
"$WINE" sumbrel-t-win32/sumbrel.exe compress -c song.mp3 >win.sbk
cmp -s expected.sbk win.sbk || fail "the unpacked sumbrel.exe wrote another compressed file"
echo "archives: all checks passed"

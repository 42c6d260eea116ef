#!/usr/bin/env bash
# Writes the release archives into dist/ (DIST overrides) from the built trees:
#   sumbrel-VERSION-win32.zip, orvane-VERSION-win64.zip, fennick-VERSION-win64.zip
#   sumbrel-VERSION-linux64.tar.gz, orvane-VERSION-linux64.tar.gz, fennick-VERSION-linux64.tar.gz
# Build first: scripts/build.sh release and scripts/build.sh windows.
# VERSION defaults to what git describe says of this checkout.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dist=${DIST:-$root/dist}
version=${VERSION:-$(git describe --tags --always --dirty 2>/dev/null || echo dev)}
linux=$root/build/bin win64=$root/build-win64/bin win32=$root/build-win32/bin

need() { for f in "$@"; do [ -f "$f" ] || { echo "package.sh: missing $f (build it first)" >&2; exit 1; }; done; }
need "$linux/orvane" "$linux/oo2core_7_linux64.so" "$linux/fennick" "$linux/sumbrel" "$linux/libsumbrel.so" \
     "$win64/orvane.exe" "$win64/oo2core_7_win64.dll" "$win64/fennick.exe" "$win32/sumbrel.dll" "$win32/sumbrel.exe"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$dist"

# pack NAME FORMAT FILE...: the files side by side in folder NAME of the archive.
pack() {
  local name=$1 format=$2
  shift 2
  mkdir "$stage/$name"
  cp "$@" "$stage/$name/"
  [ ! -f "$stage/README.txt" ] || mv "$stage/README.txt" "$stage/$name/README.txt"
  if [ "$format" = zip ]; then
    # Text files with CR LF, as Windows editors expect them.
    [ ! -f "$stage/$name/README.txt" ] || sed -i 's/$/\r/' "$stage/$name/README.txt"
    [ ! -f "$stage/$name/sumbrel.h" ] || sed -i 's/$/\r/' "$stage/$name/sumbrel.h"
    [ ! -f "$stage/$name/LICENSE-lz4.txt" ] || sed -i 's/$/\r/' "$stage/$name/LICENSE-lz4.txt"
    rm -f "$dist/$name.zip"
    (cd "$stage" && zip -qrX "$dist/$name.zip" "$name")
  else
    tar -C "$stage" --owner=0 --group=0 -czf "$dist/$name.tar.gz" "$name"
  fi
  echo "$dist/$name.$( [ "$format" = zip ] && echo zip || echo tar.gz )"
}

cat >"$stage/README.txt" <<TXT
sumbrel $version for 32-bit Windows: the plug-in sumbrel.dll, its interface sumbrel.h, and
sumbrel.exe, the command that hosts it (keep it beside sumbrel.dll; sumbrel --help).
A host loads sumbrel.dll, finds the export GetModule (cdecl, one 32-bit int: the address of
its progress listener, or 0) and drives the returned module through its table of virtual
operations (thiscall); slot 0 ends the module (with flags 1 it is freed). sumbrel.h
describes every operation.
TXT
pack "sumbrel-$version-win32" zip "$win32/sumbrel.dll" "$win32/sumbrel.exe" sumbrel/module/sumbrel.h

cat >"$stage/README.txt" <<TXT
orvane $version for 64-bit Windows. From cmd.exe:
  orvane e < game.pak > game.orv
  orvane d < game.orv > game.pak
  orvane t < game.orv
d and t check the rebuilt input against the container's checksums; exit code 0 success,
1 failure, 2 wrong use.
oo2core_7_win64.dll is an LZ4-based stand-in for the codec library; a real library of the
same name (or oo2core_4_, _5_, _6_win64.dll) put beside orvane.exe is used instead. The
stand-in is built from liblz4, whose licence is LICENSE-lz4.txt.
In PowerShell 5 pipelines and redirection re-encode bytes and damage the data; use
  cmd /c "orvane e < in > out"
TXT
# The stand-in DLL holds liblz4's code, so its licence goes with it.
cp third_party/lz4/LICENSE "$stage/LICENSE-lz4.txt"
pack "orvane-$version-win64" zip "$win64/orvane.exe" "$win64/oo2core_7_win64.dll" "$stage/LICENSE-lz4.txt"

cat >"$stage/README.txt" <<TXT
fennick $version for 64-bit Windows: fennick FILE-OR-MASK STRING NUMBER
replaces STRING by the number of processors this process may use plus NUMBER (0 or less).
TXT
pack "fennick-$version-win64" zip "$win64/fennick.exe"

cat >"$stage/README.txt" <<TXT
sumbrel $version for Linux x86-64: the command sumbrel and the plug-in libsumbrel.so, kept
side by side, and the plug-in's interface sumbrel.h. sumbrel without arguments prints its usage.
TXT
pack "sumbrel-$version-linux64" tar "$linux/sumbrel" "$linux/libsumbrel.so" sumbrel/module/sumbrel.h
pack "orvane-$version-linux64" tar "$linux/orvane" "$linux/oo2core_7_linux64.so"
pack "fennick-$version-linux64" tar "$linux/fennick"

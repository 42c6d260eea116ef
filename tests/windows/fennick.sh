#!/usr/bin/env bash
# fennick.exe under wine: one file (bytes a text-mode program would change),
# masks with a folder part, a mask matching only folders, no match, refused
# arguments; messages (CR LF allowed) and exit codes.
set -euo pipefail
: "${WINE:?}" "${WIN_BIN:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }
# Runs fennick.exe; sets out (CR removed) and rc.
run() {
  rc=0
  out=$("$WINE" "$WIN_BIN/fennick.exe" "$@" | tr -d '\r') || rc=$?
}
expect() {  # expect RC OUTPUT
  [ "$rc" = "$1" ] || fail "exit code $rc, expected $1 (output: $out)"
  [ "$out" = "$2" ] || fail "output '$out', expected '$2'"
}
P=$(nproc)  # wine reports the affinity this script runs with

attributes() { "$WINE" cmd /c attrib "$1" | tr -d '\r' | cut -c1-10; }
printf '\032@N@\r\n\000x@N@@N\r' >one.txt
# The system attribute lives in an extended attribute of the Linux file, where
# the file system has them; the rewritten file must keep it.
"$WINE" cmd /c attrib +s one.txt
before=$(attributes one.txt)
run one.txt @N@ -1
expect 0 "Updated one.txt"
case "$before" in
  *S*) [ "$(attributes one.txt)" = "$before" ] || fail "attributes '$before' became '$(attributes one.txt)'" ;;
  *) echo "note: this file system keeps no file attributes, their check is skipped" ;;
esac
printf '\032%d\r\n\000x%d@N\r' $((P - 1)) $((P - 1)) | cmp -s - one.txt || fail "one.txt: $(od -c one.txt)"
ls -A | cmp -s - <(echo one.txt) || fail "files left beside the result: $(ls -A)"

# The matched names are the files in the mask's folder, not same-named files
# in the current one; folders and other names are left alone.
mkdir conf conf/sub.ini
for f in a.ini b.ini c.txt; do printf 'n=@N@\n' >"conf/$f"; done
printf 'n=@N@\n' >a.ini
for mask in 'conf/*.ini' 'conf\*.i?i'; do
  run "$mask" @N@ 0
  sep=${mask:4:1}
  [ "$rc" = 0 ] || fail "$mask: exit code $rc"
  [ "$(sort <<<"$out")" = "Updated conf${sep}a.ini"$'\n'"Updated conf${sep}b.ini" ] || fail "$mask: output '$out'"
done
for f in conf/a.ini conf/b.ini; do [ "$(cat "$f")" = "n=$P" ] || fail "$f: $(cat "$f")"; done
for f in conf/c.txt a.ini; do [ "$(cat "$f")" = "n=@N@" ] || fail "$f was changed"; done

run 'con?' @N@ 0           # matches only the folder conf
expect 0 ""
run 'zz*.none' @N@ 0
expect 1 "No files match mask."
run missing.txt @N@ 0
expect 0 "Cannot open missing.txt"
run a.ini @N@ 3
expect 1 "Number must be 0 or negative."
run a.ini "" 0
expect 1 "String must not be empty."
run a.ini @N@
expect 1 "Usage: fennick <file|mask> <string> <number>"
[ "$(cat a.ini)" = "n=@N@" ] || fail "a refused call changed a.ini"
echo "fennick.exe: all checks passed"

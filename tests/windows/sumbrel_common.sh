# Sourced by the sumbrel scripts: the environment they need, a work folder removed at the
# end, `fail`, and `wav RATE SECONDS`, which writes 16-bit stereo noise for lame.
set -euo pipefail
: "${WINE:?}" "${WIN_BIN:?}" "${LINUX_BIN:?}"
[ -x "$LINUX_BIN/sumbrel" ] || { echo "missing $LINUX_BIN/sumbrel: build the Linux release tree first"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

le() { local v=$1 n=$2; for ((i = 0; i < n; i++)); do printf "\\x$(printf %02x $(((v >> (8 * i)) & 255)))"; done; }
wav() {
  local bytes=$(($1 * 4 * $2))
  printf RIFF; le $((36 + bytes)) 4; printf 'WAVEfmt '; le 16 4; le 1 2; le 2 2
  le "$1" 4; le $(($1 * 4)) 4; le 4 2; le 16 2; printf data; le $bytes 4; head -c $bytes /dev/urandom
}

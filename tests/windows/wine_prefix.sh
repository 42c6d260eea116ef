#!/usr/bin/env bash
# wine_prefix.sh setup|cleanup: makes the wine prefix that the tests of a run
# share, or stops its wine server and removes it.
set -euo pipefail
: "${WINEPREFIX:?}" "${WINE:?}"
case "$1" in
  setup)
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # The server stays between the tests' programs (each restart costs time),
    # and leaves by itself if the cleanup never comes.
    wineserver -p30 </dev/null >/dev/null 2>&1
    "$WINE" wineboot --init </dev/null >/dev/null 2>&1
    ;;
  cleanup)
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    ;;
  *) exit 2 ;;
esac

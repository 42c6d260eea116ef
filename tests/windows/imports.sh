#!/usr/bin/env bash
# imports.sh OBJDUMP BIN: every program and DLL of a Windows tree imports only
# DLLs that come with Windows, so that it runs copied alone to a clean machine.
set -euo pipefail
objdump=$1 bin=$2
system='^(kernel32|msvcrt|ucrtbase|api-ms-win-.*|advapi32|user32|shell32|ws2_32|ntdll|bcrypt)\.dll$'
shopt -s nullglob
files=("$bin"/*.exe "$bin"/*.dll)
[ ${#files[@]} -gt 0 ] || { echo "FAIL: no binaries in $bin"; exit 1; }
status=0
for f in "${files[@]}"; do
  while read -r dll; do
    if ! tr '[:upper:]' '[:lower:]' <<<"$dll" | grep -Eq "$system"; then
      echo "FAIL: $(basename "$f") imports $dll"
      status=1
    fi
  done < <("$objdump" -p "$f" | awk '/DLL Name:/ {print $3}')
done
[ $status = 0 ] && echo "${#files[@]} binaries import only system DLLs"
exit $status

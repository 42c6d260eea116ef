#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the examples need.
# apt-get update runs only when something is actually missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev
  liblz4-dev zlib1g-dev
  lame
  util-linux procps
  xz-utils zstd
  # scripts/package.sh
  zip unzip
  # fuzz/: clang with libFuzzer, whose runtime comes with the compiler-rt package
  clang-14 libclang-rt-14-dev
  # the Windows builds (scripts/build.sh windows) and wine to test them; the
  # 32-bit wine runs the 32-bit plug-in
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 wine32:i386
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

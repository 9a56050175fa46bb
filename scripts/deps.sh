#!/usr/bin/env bash
# Installs what the build, the tests and the run command need on a Debian machine (as root).
# Idempotent: does nothing when everything is there already. Checks the commands the scripts
# run, not only package names: a package can be present without the command we need (wine64
# alone gives neither `wine` nor `wineserver`).
set -euo pipefail
packages=(cmake ninja-build g++ clang-14 libclang-rt-14-dev googletest mingw-w64 wine wine64 xvfb
          xdotool imagemagick x11-utils nsis unzip file binutils-mingw-w64-x86-64 locales python3)
commands=(cmake ninja g++ clang++-14 wine wineserver x86_64-w64-mingw32-g++ i686-w64-mingw32-g++
          x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump Xvfb xdotool import xdpyinfo makensis
          unzip file localedef python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
absent=()
for c in "${commands[@]}"; do
  command -v "$c" >/dev/null 2>&1 || absent+=("$c")
done
if [ ${#absent[@]} -gt 0 ]; then
  echo "deps: still missing after the install: ${absent[*]}" >&2
  exit 1
fi

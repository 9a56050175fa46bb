#!/usr/bin/env bash
# Installs what the build, the tests and the run command need on a Debian machine (as root).
# Idempotent: does nothing when everything is there already.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest mingw-w64 wine64 xvfb xdotool
          imagemagick x11-utils nsis unzip file)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

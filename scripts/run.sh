#!/usr/bin/env bash
# Builds KeskVLM for Windows and starts it with the bundled catalogue and skin on a Wine
# virtual desktop (with a taskbar). With a display it shows there until you close it; without
# one it runs on Xvfb, saves a screenshot and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh
cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64 -j "$(nproc)" --target KeskVLM
bin=$PWD/build/mingw-x64/bin
export WINEPREFIX=$PWD/build/run-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/system.reg" ] || { echo "Creating Wine prefix $WINEPREFIX"; wineboot -i >/dev/null 2>&1; wineserver -w; }
cd "$bin"
if [ -n "${DISPLAY:-}" ]; then
  exec wine explorer /desktop=KeskVLM,1024x768 KeskVLM.exe
fi
. "$root/scripts/xvfb.sh"
kesk_start_xvfb 60 99 || { echo "run: could not start Xvfb" >&2; exit 1; }
trap 'wineserver -k >/dev/null 2>&1; kill $xvfb_pid 2>/dev/null' EXIT
wine explorer /desktop=KeskVLM,1024x768 KeskVLM.exe >/dev/null 2>&1 &
sleep "${KESK_SHOT_DELAY:-8}"
shot=$PWD/../screenshot.png
import -window root "$shot"
echo "Screenshot: $(realpath "$shot")"

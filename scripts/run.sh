#!/usr/bin/env bash
# Builds KeskVLM for Windows and starts it with the bundled catalogue and skin on a Wine
# virtual desktop with a taskbar. With a display it shows there until you close it; without
# one it runs on Xvfb, opens the menu once the program is ready, saves a screenshot of the menu
# over the taskbar and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh
cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64 -j "$(nproc)" --target KeskVLM kesk_probe
bin=$root/build/mingw-x64/bin
export WINEPREFIX=$root/build/run-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine gives a virtual desktop a taskbar only when it is named "shell".
desktop="/desktop=shell,1024x768"
if [ -n "${DISPLAY:-}" ]; then
  [ -f "$WINEPREFIX/system.reg" ] || { echo "Creating Wine prefix $WINEPREFIX"; wineboot -i >/dev/null 2>&1; wineserver -w; }
  cd "$bin"
  exec wine explorer "$desktop" KeskVLM.exe
fi

. "$root/scripts/xvfb.sh"
kesk_start_xvfb 60 99 || { echo "run: could not start Xvfb" >&2; exit 1; }
trap 'wineserver -k >/dev/null 2>&1; kill $xvfb_pid 2>/dev/null' EXIT
[ -f "$WINEPREFIX/system.reg" ] || { echo "Creating Wine prefix $WINEPREFIX"; wineboot -i >/dev/null 2>&1; wineserver -w; }
# Every program of this prefix on the one desktop, so the probe sees KeskVLM's windows.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null 2>&1
(cd "$bin" && wine explorer "$desktop" KeskVLM.exe >/dev/null 2>&1 &)
probe() { timeout -k 5 90 wine "$bin/kesk_probe.exe" "$@" 2>/dev/null | tr -d '\r' | grep '^probe:'; }
# Ready means: the main window is there and a click on the VLM button shows the menu.
probe wait 60 >/dev/null || { echo "run: KeskVLM did not start" >&2; exit 1; }
# The menu hides when the pointer is not over it: rest the pointer where it opens.
xdotool mousemove 200 450
probe show-menu 60 >/dev/null || { echo "run: the menu did not show" >&2; exit 1; }
sleep 1 # the lists' pictures and the skin paint after the window shows
shot=$root/build/screenshot.png
import -window root "$shot"
echo "Screenshot: $shot"

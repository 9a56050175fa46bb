#!/usr/bin/env bash
# Starts KeskVLM together with a fresh Wine desktop that has a taskbar, as at log-on, N times
# in a row, and checks after each start that the VLM button covers the start button.
#
#   tests/e2e/cold_starts.sh BUILD_DIR [N]     (BUILD_DIR: a built mingw-x64 tree; N: 20)
#
# Every start is a cold one: the Wine server is stopped before it, so the program and the
# shell's taskbar come up side by side. Prints one line per start and "cold starts: P of N";
# exits 1 unless all N pass. Uses its own prefix under BUILD_DIR and stops only its own
# Wine server and Xvfb.
set -u
build=$(cd "${1:?usage: cold_starts.sh BUILD_DIR [N]}" && pwd)
runs=${2:-20}
probe=$build/bin/kesk_probe.exe
app=$build/cold-starts/app
export WINEPREFIX=$build/cold-starts/prefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
[ -f "$probe" ] && [ -f "$build/bin/KeskVLM.exe" ] || { echo "build KeskVLM and kesk_probe first"; exit 1; }

xvfb_pid=""
cleanup() {
  timeout 20 wineserver -k >/dev/null 2>&1
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
}
trap cleanup EXIT
. "$(dirname "$0")/../../scripts/xvfb.sh"
kesk_start_xvfb 200 250 || { echo "no display"; exit 1; }

rm -rf "$app"; mkdir -p "$app"
cp "$build/bin/KeskVLM.exe" "$app/"
res=$(dirname "$0")/../../resources
cp -r "$res/velora.ini" "$res/notFound.ico" "$res/skin" "$app/"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout -k 5 180 wineboot -i >/dev/null 2>&1; timeout 120 wineserver -w
  # Every program runs on one virtual desktop with a taskbar, started with the first of them.
  timeout 60 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
  timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null 2>&1
  timeout 60 wineserver -w
fi

passed=0
for i in $(seq 1 "$runs"); do
  timeout 20 wineserver -k >/dev/null 2>&1; timeout 20 wineserver -w >/dev/null 2>&1
  (cd "$app" && timeout -k 5 120 wine KeskVLM.exe >/dev/null 2>&1 &)
  if out=$(timeout -k 5 60 wine "$probe" covers 20 2>/dev/null | tr -d '\r' | grep '^probe:'); then
    passed=$((passed + 1)); echo "start $i: PASS"
  else
    echo "start $i: FAIL $out"
  fi
done
echo "cold starts: $passed of $runs"
[ "$passed" -eq "$runs" ]

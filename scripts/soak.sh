#!/usr/bin/env bash
# Soak test (not part of scripts/test.sh): runs the whole program under Wine through many
# cycles of showing and hiding the menu, rebuilds and launches, and reports its GDI and USER
# objects, handles and private memory before, between and after. Growth beyond noise is a leak.
#
#   scripts/soak.sh [SHOWS [REBUILDS [LAUNCHES]]]      (defaults 10000 1000 200)
#
# Builds the mingw-x64 preset, copies the program with the sample catalogue into
# build/mingw-x64/soak/app and runs it in its own Wine prefix on a virtual desktop with a
# taskbar; the probe (tests/package/kesk_probe.cpp) drives it from outside: it clicks the VLM
# button, rebuilds through an entry's "Refresh all" (after proving once that it reads the
# catalogue again) and clicks the catalogue's first entry (Notepad), closing each started Notepad
# again. The report is also written to build/mingw-x64/soak/report.txt.
# KESK_BUILD_DIR chooses another build tree of the preset.
set -euo pipefail
cd "$(dirname "$0")/.."
shows=${1:-10000} rebuilds=${2:-1000} launches=${3:-200}

build=${KESK_BUILD_DIR:-$PWD/build/mingw-x64}   # another build tree of the mingw-x64 preset

scripts/deps.sh
cmake --preset mingw-x64 -B "$build" >/dev/null
cmake --build "$build" -j 2 --target KeskVLM kesk_probe
work=$build/soak
app=$work/app
probe=$build/bin/kesk_probe.exe
report=$work/report.txt
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64

xvfb_pid=""
cleanup() {
  timeout 20 wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
. scripts/xvfb.sh
kesk_start_xvfb 260 360 || { echo "soak: could not start Xvfb" >&2; exit 1; }

timeout 20 wineserver -k >/dev/null 2>&1 || true
mkdir -p "$work"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "soak: creating Wine prefix $WINEPREFIX"
  timeout -k 5 180 wineboot -i >/dev/null 2>&1
  timeout 120 wineserver -w
  # Every program of this prefix on one virtual desktop with a taskbar.
  timeout 60 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
  timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null 2>&1
fi

rm -rf "$app"
mkdir -p "$app"
cp "$build/bin/KeskVLM.exe" resources/notFound.ico resources/velora.ini "$app/"
cp -r resources/skin "$app/"

probe_run() { timeout -k 5 "$1" wine "$probe" "${@:2}" 2>/dev/null | tr -d '\r' | grep --line-buffered '^probe:'; }
status=0
(cd "$app" && timeout -k 5 14400 wine "$app/KeskVLM.exe" >/dev/null 2>&1 &)
probe_run 60 wait 40 || { echo "soak: KeskVLM did not start" >&2; exit 1; }
probe_run 60 self-test | tee "$report" || status=1
start=$(date +%s)
catalogue=$(winepath -w "$app/velora.ini" 2>/dev/null | tr -d '\r')
probe_run 14000 soak "$shows" "$rebuilds" "$launches" Notepad "$catalogue" | tee -a "$report" || status=1
echo "probe: seconds $(( $(date +%s) - start ))" | tee -a "$report"
probe_run 60 close 30 | tee -a "$report" || status=1
echo "soak: report in $report"
exit $status

#!/usr/bin/env bash
# Package tests: the portable ZIP and the installer of a 64-bit Windows build, tried the way a
# user would, in a fresh Wine prefix of their own.
#
#   tests/package/run.sh BUILD_DIR        (BUILD_DIR: a configured and built mingw-x64 tree;
#                                          a mingw-x86 tree gets the content checks only)
#
# Makes the packages afresh with cpack. Checks: the program of either architecture imports only
# what Windows 7 SP1 exports and directly only kernel32 and the C runtime (check_imports.sh);
# its manifest and the installer's request asInvoker (pe_manifest.py); the ZIP holds the
# program, its resources, README and LICENSE; unpacked, it starts and shows the sample menu; the
# installer runs silently, the installed program starts at log-on, an upgrade over a running
# copy closes it and keeps the user's catalogue and skin, the uninstaller removes the program
# and keeps the catalogue unless asked. Prints one PASS or FAIL line per check and "package: N
# passed, M failed"; exits 1 on any failure. Every Wine call has a time limit; only this prefix's
# wineserver and the Xvfb this script started are stopped.
set -u

build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
probe=$build/bin/kesk_probe.exe
work=$build/package-test
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64

label=package
. "$(dirname "$0")/checks.sh"

# --- the packages ----------------------------------------------------------------------------
rm -f "$build"/packages/KeskVLM-*
(cd "$build" && cpack --config CPackConfig.cmake >/dev/null) || { fail cpack; finish; }
zip=$(ls "$build"/packages/KeskVLM-*-win*.zip 2>/dev/null | head -1)
setup=$(ls "$build"/packages/KeskVLM-*-win*-setup.exe 2>/dev/null | head -1)
[ -n "$zip" ] || { fail "zip made"; finish; }
[ -n "$setup" ] || { fail "installer made"; finish; }

# --- the oldest Windows it runs on, and nothing from the program's folder ----------------------
# The shipped program, of either architecture, must load on Windows 7 SP1: every function it
# imports, directly or delayed, must be one that Windows 7 SP1 exports; and it may import
# directly only from kernel32 and the C runtime, the rest delayed until it has limited the DLL
# search to the system folder. The check is first shown to catch each kind of fault.
imports=$(dirname "$0")/check_imports.sh
import_rules=(
  # rule | table ("kind dll function", ";" between rows) | the check's expected verdict
  "a function newer than Windows 7, delayed|static kernel32.dll CloseHandle;delayed USER32.dll GetWindowRect;delayed user32.dll GetDpiForWindow|imports: not in Windows 7 SP1: user32.dll GetDpiForWindow"
  "a function newer than Windows 7, direct|static kernel32.dll CreateFile2|imports: not in Windows 7 SP1: kernel32.dll CreateFile2"
  "a DLL imported directly that must be delayed|static kernel32.dll CloseHandle;static user32.dll GetWindowRect|imports: imported directly, not delayed: user32.dll"
  "an import by ordinal|static kernel32.dll CloseHandle;delayed shell32.dll #680|imports: not in Windows 7 SP1: shell32.dll #680"
  "no table at all||imports: no import table found"
)
import_fault_caught() { # import_fault_caught TABLE EXPECTED
  local out
  if out=$("$imports" --dump <(printf '%s\n' "${1//;/$'\n'}") x64); then
    echo "passed: $out"; return 1
  fi
  [ "$out" = "$2" ] || { echo "$out"; return 1; }
}
for row in "${import_rules[@]}"; do
  IFS='|' read -r rule table expected <<<"$row"
  check "import check catches $rule" import_fault_caught "$table" "$expected"
done
shipped=$build/package-imports/KeskVLM.exe
mkdir -p "$(dirname "$shipped")"
if unzip -p "$zip" "*/KeskVLM.exe" >"$shipped" 2>/dev/null && [ -s "$shipped" ]; then
  check "program imports only what Windows 7 SP1 exports, directly only kernel32 and msvcrt" \
    "$imports" "$shipped"
else
  fail "program imports only what Windows 7 SP1 exports" "no KeskVLM.exe in $zip"
fi

# --- no elevation and no redirection: the manifests request asInvoker -------------------------
# Without a requested level Windows treats a 32-bit program as a legacy one and redirects its
# writes to a folder it cannot write (Program Files) into the user's VirtualStore.
manifest=$(dirname "$0")/pe_manifest.py
manifest_rules=(
  # rule | manifest text | what the reader must find
  "no trustInfo|<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'/>|none"
  "an administrator level|<assembly xmlns='urn:schemas-microsoft-com:asm.v1'><trustInfo xmlns='urn:schemas-microsoft-com:asm.v3'><security><requestedPrivileges><requestedExecutionLevel level='requireAdministrator'/></requestedPrivileges></security></trustInfo></assembly>|requireAdministrator false"
  "a level outside requestedPrivileges|<assembly xmlns='urn:schemas-microsoft-com:asm.v1'><trustInfo xmlns='urn:schemas-microsoft-com:asm.v2'><security><requestedExecutionLevel level='asInvoker'/></security></trustInfo></assembly>|none"
)
level_read() { # level_read XML EXPECTED
  local got
  got=$(python3 "$manifest" --xml <(printf '%s' "$1") 2>&1) || { echo "$got"; return 1; }
  [ "$got" = "$2" ] || { echo "read '$got', expected '$2'"; return 1; }
}
for row in "${manifest_rules[@]}"; do
  IFS='|' read -r rule xml expected <<<"$row"
  check "manifest reader: $rule" level_read "$xml" "$expected"
done
as_invoker() { # as_invoker EXE : its embedded manifest requests asInvoker without UI access
  local got
  got=$(python3 "$manifest" "$1" 2>&1) || { echo "$got"; return 1; }
  [ "$got" = "asInvoker false" ] || { echo "requests '$got'"; return 1; }
}
check "program's manifest requests asInvoker" as_invoker "$shipped"
check "installer's manifest requests asInvoker" as_invoker "$setup"

# 32-bit programs cannot run here: their packages are checked for content only.
if [[ "$zip" == *-win32.zip ]]; then
  listed() {
    local names
    names=$(unzip -Z1 "$zip") || return 1
    for f in KeskVLM.exe notFound.ico velora.ini README.txt LICENSE.txt skin/skin.ini \
             skin/Velora_BG.bmp skin/Velora_BG_menu.bmp skin/Velora_BG_edit.bmp; do
      grep -qx "KeskVLM-[^/]*-win32/$f" <<<"$names" || { echo "missing $f"; return 1; }
    done
  }
  check "win32 zip holds the program, resources, README and LICENSE" listed
  check "win32 zip holds a 32-bit program" \
    bash -c 'unzip -p "$1" "*/KeskVLM.exe" | file - | grep -q "PE32 executable"' _ "$zip"
  check "win32 installer is a 32-bit program" bash -c 'file "$1" | grep -q "PE32 executable"' _ "$setup"
  finish
fi
[ -f "$probe" ] || { fail "probe built" "$probe missing (the probe is built with KESK_TESTS on)"; finish; }

# --- a display and a fresh prefix whose every program runs on one virtual desktop with a
# taskbar, so the program, the installer and the probe see the same windows ---------------------
. "$(dirname "$0")/../../scripts/xvfb.sh"
kesk_start_xvfb 150 250 || { fail display "could not start Xvfb"; finish; }
timeout 20 wineserver -k >/dev/null 2>&1
rm -rf "$work"
mkdir -p "$work"
if ! timeout -k 5 180 wineboot -i >/dev/null 2>&1 || ! timeout 120 wineserver -w; then
  fail "wine prefix" "wineboot failed"; finish
fi
timeout 60 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null 2>&1

probe_run() { timeout -k 5 90 wine "$probe" "$@" 2>/dev/null | tr -d '\r' | grep '^probe:'; return "${PIPESTATUS[0]}"; }
start_program() { # start_program EXE : runs it in the background; the probe waits for it
  (cd "$(dirname "$1")" && timeout -k 5 600 wine "$1" >/dev/null 2>&1 &)
  probe_run wait 40 >/dev/null
}
expect_lists() { # expect_lists "4 5 2 4" : the shown menu has these entry counts
  probe_run show-menu 30 >/dev/null || { echo "menu not shown"; return 1; }
  local got
  got=$(probe_run lists | sed -n 's/^probe: lists *//p')
  [ "$got" = "$1" ] || { echo "lists '$got', expected '$1'"; return 1; }
}
regvalue() { timeout 60 wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | grep -q "$2"; }

# The probe's own measuring (used by the soak test) must count what it claims to.
check "probe: counts GDI objects, handles and private memory" probe_run self-test

# --- the portable ZIP ------------------------------------------------------------------------
portable=$WINEPREFIX/drive_c/portable
mkdir -p "$portable"
check "zip unpacks" unzip -q "$zip" -d "$portable"
app=$(ls -d "$portable"/KeskVLM-* 2>/dev/null | head -1)
contents() {
  for f in KeskVLM.exe notFound.ico velora.ini README.txt LICENSE.txt skin/skin.ini \
           skin/Velora_BG.bmp skin/Velora_BG_menu.bmp skin/Velora_BG_edit.bmp; do
    [ -f "$1/$f" ] || { echo "missing $f"; return 1; }
  done
}
check "zip holds the program, resources, README and LICENSE" contents "$app"
sample_lists="4 5 2 4"
if [ -n "$app" ] && start_program "$app/KeskVLM.exe"; then
  pass "zip: program starts"
  check "zip: shows the sample menu" expect_lists "$sample_lists"
  check "zip: ends on close with exit code 0" probe_run close 30
else
  fail "zip: program starts"
fi

# --- the installer ---------------------------------------------------------------------------
# The program writes beside itself, so it is installed per user under the local app data.
inst=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -path '*/AppData/Local' 2>/dev/null | head -1)/Programs/KeskVLM
startmenu=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -type d -path '*/AppData/Roaming/Microsoft' 2>/dev/null | head -1)/Windows/Start\ Menu/Programs
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninst_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\KeskVLM'

installed() {
  for f in KeskVLM.exe notFound.ico velora.ini Uninstall.exe skin/Velora_BG.bmp skin/skin.ini; do
    [ -f "$inst/$f" ] || { echo "missing $inst/$f"; return 1; }
  done
  cmp -s "$inst/KeskVLM.exe" "$app/KeskVLM.exe" || { echo "installed exe differs from the ZIP's"; return 1; }
}
check "installer runs silently" timeout -k 5 180 wine "$setup" /S /AUTOSTART=1
timeout 60 wineserver -w
check "installer: files in the per-user folder" installed
check "installer: Start menu shortcut" test -f "$startmenu/KeskVLM.lnk"
check "installer: start at log-on registered" regvalue "$run_key" KeskVLM
check "installer: uninstall entry registered" regvalue "$uninst_key" UninstallString

# A session start (wineboot without options) runs the user's Run entries, as a log-on does.
(timeout -k 5 120 wine wineboot >/dev/null 2>&1 &)
if probe_run wait 40 >/dev/null; then
  pass "installed program starts at log-on"
  check "installed program shows the sample menu" expect_lists "$sample_lists"
else
  fail "installed program starts at log-on"
fi

# The user's own catalogue and skin, then an upgrade while the program runs.
user_item=$'[PackageTestItem]\r\nName=Package test\r\nTarget=C:\\WINDOWS\\notepad.exe\r\nGroup=Tools\r\n'
printf '%s' "$user_item" >>"$inst/velora.ini"
printf '[COLORS]\r\nHEAD_BAR_BG=0x123456\r\n' >"$inst/skin/skin.ini"
cp "$inst/skin/skin.ini" "$work/user-skin.ini"
check "upgrade over the running program" timeout -k 5 180 wine "$setup" /S
check "upgrade: the running copy was closed" probe_run gone 30
check "upgrade: catalogue kept" grep -q '^\[PackageTestItem\]' "$inst/velora.ini"
check "upgrade: skin kept" cmp -s "$inst/skin/skin.ini" "$work/user-skin.ini"
check "upgrade: program in place" installed
check "upgrade: start at log-on kept" regvalue "$run_key" KeskVLM
if start_program "$inst/KeskVLM.exe"; then
  check "upgraded program shows the user's catalogue" expect_lists "5 5 2 4"
  check "upgraded program ends on close" probe_run close 30
else
  fail "upgraded program starts"
fi

# --- uninstalling ----------------------------------------------------------------------------
uninstalled() {
  for f in KeskVLM.exe notFound.ico Uninstall.exe README.txt LICENSE.txt; do
    [ ! -e "$inst/$f" ] || { echo "left $f"; return 1; }
  done
  [ ! -e "$startmenu/KeskVLM.lnk" ] || { echo "left the shortcut"; return 1; }
  ! regvalue "$run_key" KeskVLM || { echo "left the start at log-on"; return 1; }
  ! regvalue "$uninst_key" UninstallString || { echo "left the uninstall entry"; return 1; }
}
# The uninstaller runs from a copy of itself in the temporary folder; wineserver -w waits for it.
check "uninstaller runs silently" timeout -k 5 120 wine "$inst/Uninstall.exe" /S
timeout 120 wineserver -w
check "uninstall: program, shortcut and registry entries removed" uninstalled
check "uninstall: catalogue and skin kept" grep -q '^\[PackageTestItem\]' "$inst/velora.ini"
check "uninstall: skin kept" cmp -s "$inst/skin/skin.ini" "$work/user-skin.ini"

check "reinstall over the kept catalogue" timeout -k 5 180 wine "$setup" /S /SHORTCUT=0
timeout 60 wineserver -w
check "reinstall: catalogue still the user's" grep -q '^\[PackageTestItem\]' "$inst/velora.ini"
check "reinstall: no shortcut when declined" test ! -e "$startmenu/KeskVLM.lnk"
check "uninstall with the catalogue removes everything" \
  timeout -k 5 120 wine "$inst/Uninstall.exe" /S /REMOVEDATA
timeout 120 wineserver -w
check "uninstall with the catalogue: folder gone" test ! -e "$inst"

finish

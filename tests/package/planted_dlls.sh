#!/usr/bin/env bash
# Planted DLLs: KeskVLM and its installer load no DLL from the folder they are started from.
#
#   tests/package/planted_dlls.sh BUILD_DIR     (a built mingw-x64 tree with the tests on)
#
# A DLL of our own (planted.dll) that leaves a marker file when anything loads it is copied
# under the name of every DLL the program imports, directly or delayed, and of those that it or
# the system loads by name later, beside KeskVLM.exe; Wine is told to look for each of them
# beside the program first (WINEDLLOVERRIDES "n,b"), as Windows does for every DLL that is not
# one of its known DLLs. The program must start, show its menu (pictures through WIC, themes)
# and end normally, no marker may appear, and the delayed comctl32 must still be version 6. The same for the installer, when makensis is
# installed. A control first shows that a program which does not limit its DLL search does load
# a planted copy, so that an absent marker means something.
#
# Prints one PASS or FAIL line per check and "planted: N passed, M failed"; exits 1 on any
# failure. Runs in a fresh Wine prefix of its own; every Wine call has a time limit; only this
# prefix's wineserver and the Xvfb this script started are stopped.
set -u

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: planted_dlls.sh BUILD_DIR}" && pwd)
bin=$build/bin
work=$build/planted-test
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEARCH=win64

# kernel32 and msvcrt are bound before the program's first line runs; on Windows both are known
# DLLs, which are never taken from the program's folder. Wine has no known DLLs, so a planted
# copy under an override would be taken there: they are left out rather than tested against a
# rule Windows does not have.
loaded_at_start="kernel32.dll msvcrt.dll"
# Loaded by name later, by the program (WIC through COM, DPI functions) or by the system DLLs
# it uses (themes, shell, common controls), as Wine shows with WINEDEBUG=+loaddll.
later="windowscodecs.dll uxtheme.dll version.dll dwmapi.dll propsys.dll shcore.dll comctl32.dll
       combase.dll rpcrt4.dll imm32.dll setupapi.dll shfolder.dll userenv.dll oleacc.dll
       msctf.dll sechost.dll advapi32.dll win32u.dll cryptbase.dll apphelp.dll"
# Loaded by the installer's stub and its plug-in (System::Call) besides those.
installer_later="comdlg32.dll msimg32.dll riched20.dll"

label=planted
. "$(dirname "$0")/checks.sh"

for f in KeskVLM.exe kesk_probe.exe planted.dll planted_loader.exe; do
  [ -f "$bin/$f" ] || { fail "built" "$bin/$f missing"; finish; }
done
probe=$bin/kesk_probe.exe

# Every DLL the program names in its tables, and the ones loaded later, but those bound at start.
names=$(python3 "$here/pe_imports.py" "$bin/KeskVLM.exe" | awk '{ print $2 }') ||
  { fail "import tables read"; finish; }
names=$(printf '%s\n' $names $later | tr 'A-Z' 'a-z' | sort -u |
  grep -vxF -f <(printf '%s\n' $loaded_at_start))
for n in windowscodecs.dll uxtheme.dll version.dll dwmapi.dll propsys.dll user32.dll; do
  grep -qx "$n" <<<"$names" || { fail "planted names" "$n missing from the list"; finish; }
done
bound_closure() { # bound_closure DLLS... : they and, recursively, what Wine's builds of them import
  local dir todo=("$@") seen=" " d
  for dir in /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows \
             /usr/lib64/wine/x86_64-windows /opt/wine-*/lib*/wine/x86_64-windows; do
    [ -f "$dir/kernel32.dll" ] && break
  done
  [ -f "$dir/kernel32.dll" ] || { echo "bound_closure: Wine's DLLs not found" >&2; return 1; }
  while [ ${#todo[@]} -gt 0 ]; do
    d=${todo[0]}; todo=("${todo[@]:1}")
    [[ "$seen" == *" $d "* ]] && continue
    seen="$seen$d "
    echo "$d"
    [ -f "$dir/$d" ] || continue
    mapfile -t -O "${#todo[@]}" todo < <(python3 "$here/pe_imports.py" "$dir/$d" |
      awk '$1 == "static" { print tolower($2) }' | sort -u)
  done
}
overrides() { # overrides NAMES... : native-first for each, as Windows searches them
  printf 'mscoree,mshtml=;%s=n,b' "$(printf '%s\n' "$@" | sed 's/\.dll$//' | paste -sd,)"
}
plant() { # plant DIR NAMES... : a copy of planted.dll under each name in DIR
  local dir=$1 n; shift
  mkdir -p "$dir"
  for n in "$@"; do cp "$bin/planted.dll" "$dir/$n" || return 1; done
}
no_markers() { # no_markers DIR : no planted copy in DIR was loaded
  local found
  found=$(cd "$1" && ls -- *.loaded 2>/dev/null)
  [ -z "$found" ] || { echo "loaded:" $found; return 1; }
}

# --- a display and a fresh prefix with a taskbar --------------------------------------------
. "$here/../../scripts/xvfb.sh"
kesk_start_xvfb 350 400 || { fail display "could not start Xvfb"; finish; }
timeout 20 wineserver -k >/dev/null 2>&1
rm -rf "$work"
mkdir -p "$work"
if ! WINEDLLOVERRIDES="mscoree,mshtml=" timeout -k 5 180 wineboot -i >/dev/null 2>&1 ||
  ! timeout 120 wineserver -w; then
  fail "wine prefix" "wineboot failed"; finish
fi
timeout 60 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null 2>&1

probe_run() { timeout -k 5 90 wine "$probe" "$@" 2>/dev/null | tr -d '\r' | grep '^probe:'; return "${PIPESTATUS[0]}"; }

# --- the control: without a limited search, a planted copy is loaded ---------------------------
control=$WINEPREFIX/drive_c/control
plant "$control" uxtheme.dll version.dll && cp "$bin/planted_loader.exe" "$control/"
control_loads() {
  (cd "$control" && WINEDLLOVERRIDES=$(overrides uxtheme.dll version.dll) \
    timeout -k 5 60 wine planted_loader.exe uxtheme.dll >/dev/null 2>&1) ||
    { echo "the loader could not load uxtheme.dll"; return 1; }
  [ -f "$control/uxtheme.dll.loaded" ] || { echo "no marker: the planted copy was not loaded"; return 1; }
}
check "control: a program without a limited search loads the planted copy" control_loads

# --- the program -------------------------------------------------------------------------------
app=$WINEPREFIX/drive_c/planted/KeskVLM
mkdir -p "$app"
cp "$bin/KeskVLM.exe" "$app/" && cp -r "$here/../../resources/skin" "$here/../../resources/velora.ini" \
  "$here/../../resources/notFound.ico" "$app/" || { fail "program copied"; finish; }
# shellcheck disable=SC2086
plant "$app" $names || { fail "DLLs planted"; finish; }
echo "planted: beside the program:" $names
# Started from its own folder, which is then also the current directory.
# Wine's record of what it loaded shows where comctl32 came from.
loads=$work/program-loads.log
(cd "$app" && WINEDEBUG=-all,+loaddll WINEDLLOVERRIDES=$(overrides $names) \
  timeout -k 5 300 wine KeskVLM.exe >/dev/null 2>"$loads" &)
if probe_run wait 60 >/dev/null; then
  pass "program starts beside planted DLLs"
  check "program shows its menu" probe_run show-menu 30
  check "program shows the sample lists" bash -c '[ "$(timeout 60 wine "$1" lists 2>/dev/null | tr -d "\r" | sed -n "s/^probe: lists *//p")" = "4 5 2 4" ]' _ "$probe"
  check "program ends on close" probe_run close 30
else
  fail "program starts beside planted DLLs"
fi
timeout 60 wineserver -w
check "program loaded none of the planted DLLs" no_markers "$app"
# Delayed, comctl32 must still be version 6, found through the manifest's activation context.
common_controls_6() {
  grep -iq 'Loaded L".*winsxs.*common-controls_6595b64144ccf1df_6\.[^"]*comctl32\.dll"' "$loads" ||
    { echo "no comctl32 version 6: $(grep -i comctl32 "$loads" | head -3 | tr "\n" " ")"; return 1; }
}
check "program binds comctl32 version 6 through its manifest" common_controls_6

# --- the installer -----------------------------------------------------------------------------
if [ -f "$build/CPackConfig.cmake" ] && command -v makensis >/dev/null; then
  (cd "$build" && cpack --config CPackConfig.cmake -G NSIS -B "$work/packages" >/dev/null 2>&1)
  setup=$(ls "$work"/packages/KeskVLM-*-setup.exe 2>/dev/null | head -1)
  if [ -n "$setup" ]; then
    # The installer's stub imports directly only known DLLs of Windows, and comctl32, which its
    # manifest takes from the system's side-by-side store. Windows binds what those import from
    # the system folder as well; Wine, without known DLLs, would follow the override, so that
    # closure (read from Wine's own DLLs) is not planted. The stub loads the rest itself after
    # limiting its search, and that is what is tried. Wine's user32 also loads uxtheme by name
    # while it starts, before the stub's first line (seen with WINEDEBUG=+module): Windows'
    # does not, so uxtheme is left out beside the installer too.
    # shellcheck disable=SC2046 # DLL names are single words
    bound=$({ bound_closure $(python3 "$here/pe_imports.py" "$setup" |
      awk '$1 == "static" { print tolower($2) }' | sort -u) && echo uxtheme.dll; } |
      grep -vx comctl32.dll)
    setup_names=$(printf '%s\n' $names $installer_later | sort -u | grep -vxF -f <(printf '%s\n' $bound))
    dir=$WINEPREFIX/drive_c/downloads
    echo "planted: beside the installer:" $setup_names
    # shellcheck disable=SC2086
    plant "$dir" $setup_names && cp "$setup" "$dir/setup.exe"
    (cd "$dir" && WINEDLLOVERRIDES=$(overrides $setup_names) \
      timeout -k 5 180 wine setup.exe /S >/dev/null 2>&1)
    timeout 120 wineserver -w
    installed=$(find "$WINEPREFIX/drive_c/users" -path '*/Programs/KeskVLM/KeskVLM.exe' 2>/dev/null | head -1)
    check "installer runs beside planted DLLs" test -n "$installed"
    check "installer loaded none of the planted DLLs" no_markers "$dir"
  else
    fail "installer made" "cpack made no installer"
  fi
else
  echo "planted: no makensis: the installer is not tried"
fi

finish

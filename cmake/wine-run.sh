#!/usr/bin/env bash
# Runs one Windows test program under Wine and reports its real result.
#
#   wine-run.sh --prefix DIR [--desktop WxH | --screens WxH,WxH...] [--timeout SECONDS]
#               [--gtest-xml FILE] [--locale NAME] [--dpi N] [--env NAME=VALUE]...
#               -- PROGRAM [ARGS...]
#
# - DIR is this build tree's own Wine prefix, made on first use (about 8 s).
# - Without $DISPLAY an Xvfb server is started on a free display and stopped afterwards.
# - --desktop runs the program inside `wine explorer /desktop=...`, the only way to get a real
#   taskbar under Wine. explorer does not hand back the program's exit code, so with
#   --gtest-xml the verdict comes from GoogleTest's XML report instead.
# - --screens runs the program on an Xvfb server of its own with those X screens joined by
#   Xinerama (RandR off), straight on Wine's X11 driver: Wine then reports one monitor per
#   screen, the first primary. A virtual desktop is always one monitor, and there is no taskbar
#   of Wine's to be seen here either (it is hidden and empty, as on a desktop not named
#   "shell"). That Xvfb puts every screen at the origin, so the monitors lie on top of each
#   other; only where a later screen is larger is a point on it alone.
# - --env sets a variable for the program alone (not for the prefix's creation).
# - --locale runs the program under that Unix locale (LC_ALL), from which Wine takes the system
#   code page (ru_RU.UTF-8 1251, el_GR.UTF-8 1253, ja_JP.UTF-8 932), whatever the prefix was
#   made under. Wine also names the Unix files in that locale's charset: a locale the system
#   has not got would leave it ASCII, and non-ASCII file names would fail. So a missing locale
#   is compiled once beside the prefix (localedef) and found through LOCPATH.
# - --dpi sets the prefix's DPI (LogPixels under HKCU\Control Panel\Desktop) before the program
#   starts; Wine reports that one DPI for every monitor. Give each DPI a prefix of its own.
# - Only this prefix's wineserver is stopped afterwards.
set -u

prefix="" desktop="" screens="" limit=300 xml="" locale="" dpi=""
envs=()
while [ $# -gt 0 ]; do
  case "$1" in
    --locale) locale=$2; shift 2 ;;
    --dpi) dpi=$2; shift 2 ;;
    --env)
      case "$2" in
        [A-Za-z_]*=*) envs+=("$2"); shift 2 ;;
        *) echo "wine-run: --env wants NAME=VALUE, not $2" >&2; exit 2 ;;
      esac ;;
    --prefix) prefix=$2; shift 2 ;;
    --desktop) desktop=$2; shift 2 ;;
    --screens) screens=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    --gtest-xml) xml=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "wine-run: unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -ge 1 ] || { echo "wine-run: no program given" >&2; exit 2; }
[ -n "$prefix" ] || { echo "wine-run: --prefix is required" >&2; exit 2; }
[ -z "$desktop" ] || [ -z "$screens" ] ||
  { echo "wine-run: a virtual desktop has one monitor: --desktop or --screens, not both" >&2; exit 2; }
program=$1; shift

export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

xvfb_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1
  # An Xvfb of several screens may abort on its way out; that is no news of the test's.
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; { wait "$xvfb_pid"; } 2>/dev/null; fi
}
trap cleanup EXIT
trap 'exit 143' TERM INT

. "$(dirname "$0")/../scripts/xvfb.sh"
kesk_start_xvfb 90 190 "$screens" || { echo "wine-run: could not start Xvfb" >&2; exit 1; }

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    echo "wine-run: creating Wine prefix $prefix"
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  if [ -n "$dpi" ]; then
    # Read back: a write made while the new prefix still settles can be lost, and the run
    # would then quietly be one at 96 dpi.
    want=$(printf '0x%x' "$dpi")
    for attempt in 1 2 3; do
      wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
      wineserver -w
      kept=$(wine reg query 'HKCU\Control Panel\Desktop' /v LogPixels 2>/dev/null | tr -d '\r')
      wineserver -w
      printf '%s\n' "$kept" | grep -qiE "LogPixels[[:space:]]+REG_DWORD[[:space:]]+$want\$" && break
      [ "$attempt" -lt 3 ] || { echo "wine-run: the prefix does not keep LogPixels=$dpi" >&2; exit 1; }
    done
  fi
) 9>"$prefix.lock"

if [ -n "$locale" ]; then
  envs+=("LC_ALL=$locale")
  # `locale -a` lists ru_RU.UTF-8 as ru_RU.utf8.
  listed=$(printf '%s' "$locale" | sed 's/\.UTF-8$/.utf8/I')
  if ! locale -a 2>/dev/null | grep -qixF "$listed"; then
    locdir="$(dirname "$prefix")/locales"
    mkdir -p "$locdir"
    (
      flock 8
      [ -d "$locdir/$locale" ] || localedef -i "${locale%%.*}" -f "${locale#*.}" "$locdir/$locale" >/dev/null 2>&1
    ) 8>"$locdir.lock"
    [ -d "$locdir/$locale" ] || { echo "wine-run: cannot make the locale $locale" >&2; exit 1; }
    envs+=("LOCPATH=$locdir")
  fi
fi

# Z: is the Unix root in every Wine prefix.
to_windows_path() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }

args=("$@")
if [ -n "$xml" ]; then
  mkdir -p "$(dirname "$xml")"
  rm -f "$xml"
  args+=("--gtest_output=xml:$(to_windows_path "$xml")")
fi

# Windows programs find their helpers and data beside themselves.
cd "$(dirname "$program")" || exit 1
if [ -n "$desktop" ]; then
  # Wine's explorer gives a virtual desktop a taskbar only when it is named "shell" (or when
  # the registry enables the shell for that name); each build tree has its own prefix and
  # its runs are serialised, so the fixed name is never shared.
  timeout -k 10 "$limit" env "${envs[@]}" wine explorer "/desktop=shell,$desktop" "$program" "${args[@]}"
else
  timeout -k 10 "$limit" env "${envs[@]}" wine "$program" "${args[@]}"
fi
rc=$?
if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
  echo "wine-run: $(basename "$program") did not finish within ${limit}s" >&2
  exit 1
fi

if [ -n "$xml" ]; then
  if [ ! -s "$xml" ]; then
    echo "wine-run: $(basename "$program") left no test report (exit code $rc)" >&2
    exit 1
  fi
  # The <testsuites> element carries the totals.
  head=$(grep -m1 '<testsuites' "$xml")
  get() { printf '%s' "$head" | sed -n "s/.* $1=\"\([0-9]*\)\".*/\1/p"; }
  tests=$(get tests) failures=$(get failures) errors=$(get errors) disabled=$(get disabled)
  echo "wine-run: $(basename "$program"): ${tests:-0} tests, ${failures:-?} failures, ${errors:-?} errors, ${disabled:-0} disabled"
  [ "${tests:-0}" -gt 0 ] && [ "${failures:-1}" = 0 ] && [ "${errors:-1}" = 0 ] && exit 0
  exit 1
fi
exit "$rc"

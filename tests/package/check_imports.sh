#!/usr/bin/env bash
# Checks what a Windows program imports, so that it loads on Windows 7 SP1 and loads no DLL from
# its own folder:
# - every function it imports, directly or delayed, must be one that Windows 7 SP1 exports
#   (the allowed list);
# - it imports directly (bound before its first line runs, when the program's folder is still
#   searched first) only from kernel32 and the C runtime; every other DLL must be delayed.
#
#   tests/package/check_imports.sh EXE [ALLOWED_LIST]
#   tests/package/check_imports.sh --dump TABLE_TEXT ARCH [ALLOWED_LIST]
#
# EXE: a PE32 (x86) or PE32+ (x64) program; its import and delay-import tables are read with
# pe_imports.py beside this script. --dump reads that script's output ("static|delayed dll
# function" lines) from a file instead (ARCH x86 or x64), so that the check itself can be tried
# on a known-bad table.
# ALLOWED_LIST (default: win7_imports.txt beside this script): lines "dll function [arch]",
# "#" starts a comment; an arch of x86 or x64 limits the entry to that architecture.
# Prints every import that is not allowed; exits 0 when there is none, 1 when there is one, and
# 2 when the tables cannot be read (a table read as empty is a failure, not a pass).
set -u
here=$(cd "$(dirname "$0")" && pwd)

# Bound before the program can limit the DLL search; both are known DLLs of every Windows.
static_dlls="kernel32.dll msvcrt.dll"

if [ "${1:-}" = "--dump" ]; then
  table=$(cat "${2:?usage}") || exit 2
  arch=${3:?usage}
  list=${4:-$here/win7_imports.txt}
else
  exe=${1:?usage: check_imports.sh EXE [ALLOWED_LIST]}
  list=${2:-$here/win7_imports.txt}
  kind=$(file -b "$exe") || exit 2
  case "$kind" in
    PE32+*) arch=x64 ;;
    PE32*) arch=x86 ;;
    *) echo "imports: $exe is not a Windows program ($kind)"; exit 2 ;;
  esac
  table=$(python3 "$here/pe_imports.py" "$exe" 2>&1) || { echo "imports: $table"; exit 2; }
fi
[ -r "$list" ] || { echo "imports: no allowed list $list"; exit 2; }

# "kind dll function" per import. An import by ordinal comes out as "dll #ordinal", which the
# list cannot allow: ordinals are no promise across versions.
table=$(printf '%s\n' "$table" | tr -d '\r' | awk 'NF == 3 && ($1 == "static" || $1 == "delayed") {
  print $1, tolower($2), $3 }' | sort -u)
[ -n "$table" ] || { echo "imports: no import table found"; exit 2; }
imports=$(printf '%s\n' "$table" | awk '{ print $2, $3 }' | sort -u)

allowed=$(tr -d '\r' <"$list" | sed 's/#.*//' | awk -v arch="$arch" '
  NF >= 2 && (NF == 2 || $3 == arch) { print tolower($1), $2 }' | sort -u)

status=0
bad=$(comm -23 <(printf '%s\n' "$imports") <(printf '%s\n' "$allowed"))
if [ -n "$bad" ]; then
  printf '%s\n' "$bad" | sed 's/^/imports: not in Windows 7 SP1: /'
  status=1
fi
direct=$(printf '%s\n' "$table" | awk -v ok=" $static_dlls " '
  $1 == "static" && index(ok, " " $2 " ") == 0 { print $2 }' | sort -u)
if [ -n "$direct" ]; then
  printf '%s\n' "$direct" | sed 's/^/imports: imported directly, not delayed: /'
  status=1
fi
[ "$status" -eq 0 ] || exit 1
echo "imports: $(printf '%s\n' "$imports" | wc -l) imports, all in Windows 7 SP1 ($arch)," \
  "$(printf '%s\n' "$table" | awk '$1 == "delayed"' | wc -l) of them delayed;" \
  "direct ones only from $static_dlls"

#!/usr/bin/env bash
# Checks that a Windows program imports nothing that Windows 7 SP1 does not export, so that it
# loads there: every function in its import table must be on the allowed list.
#
#   tests/package/check_imports.sh EXE [ALLOWED_LIST]
#   tests/package/check_imports.sh --dump OBJDUMP_TEXT ARCH [ALLOWED_LIST]
#
# EXE: a PE32 (x86) or PE32+ (x64) program; its import table is read with the MinGW objdump of
# its architecture. --dump reads the text of `objdump -p` from a file instead (ARCH x86 or x64),
# so that the check itself can be tried on a known-bad table.
# ALLOWED_LIST (default: win7_imports.txt beside this script): lines "dll function [arch]",
# "#" starts a comment; an arch of x86 or x64 limits the entry to that architecture.
# Prints every import that is not allowed; exits 0 when there is none, 1 when there is one, and
# 2 when the table cannot be read (a table read as empty is a failure, not a pass).
set -u
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = "--dump" ]; then
  dump=$(cat "${2:?usage}") || exit 2
  arch=${3:?usage}
  list=${4:-$here/win7_imports.txt}
else
  exe=${1:?usage: check_imports.sh EXE [ALLOWED_LIST]}
  list=${2:-$here/win7_imports.txt}
  kind=$(file -b "$exe") || exit 2
  case "$kind" in
    PE32+*) arch=x64 objdump=x86_64-w64-mingw32-objdump ;;
    PE32*) arch=x86 objdump=i686-w64-mingw32-objdump ;;
    *) echo "imports: $exe is not a Windows program ($kind)"; exit 2 ;;
  esac
  dump=$("$objdump" -p "$exe") || { echo "imports: $objdump could not read $exe"; exit 2; }
fi
[ -r "$list" ] || { echo "imports: no allowed list $list"; exit 2; }

# "dll function" per import, the DLL in lower case. An import by ordinal comes out as
# "dll #ordinal", which the list cannot allow: ordinals are no promise across versions.
imports=$(printf '%s\n' "$dump" | tr -d '\r' | awk '
  /^The Import Tables/ { inside = 1; next }
  inside && (/^The .* Table/ || /^PE File Base Relocations/) { inside = 0 }
  inside && /DLL Name:/ { dll = tolower($3); next }
  inside && dll != "" && /^\t[0-9a-fA-F]+\t/ {
    n = split($0, f, /[ \t]+/)
    # f[1] is empty (leading tab), f[2] the address, f[3] the hint or ordinal, f[4] the name
    if (n >= 4 && f[4] != "") print dll, f[4]; else print dll, "#" f[3]
  }' | sort -u)
[ -n "$imports" ] || { echo "imports: no import table found"; exit 2; }

allowed=$(tr -d '\r' <"$list" | sed 's/#.*//' | awk -v arch="$arch" '
  NF >= 2 && (NF == 2 || $3 == arch) { print tolower($1), $2 }' | sort -u)

bad=$(comm -23 <(printf '%s\n' "$imports") <(printf '%s\n' "$allowed"))
if [ -n "$bad" ]; then
  printf '%s\n' "$bad" | sed 's/^/imports: not in Windows 7 SP1: /'
  exit 1
fi
echo "imports: $(printf '%s\n' "$imports" | wc -l) imports, all in Windows 7 SP1 ($arch)"

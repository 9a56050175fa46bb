#!/usr/bin/env bash
# Prepares the folders of tests/win32/portable_paths_test.cpp and runs a test command with them:
#
#   portable_run.sh WORK PREFIX -- COMMAND [ARGS...]
#
# WORK/stick stands for a removable stick: KeskVLM/ (the program's folder, with its resources and
# tools/hello.txt) and data/d.txt beside it. The Wine prefix PREFIX reaches the stick through two
# drive letters, M: and N:, as a stick gets another letter on every computer. The command finds
# WORK in KESK_PORTABLE_WORK; the letters are removed afterwards.
set -u
work=${1:?usage: portable_run.sh WORK PREFIX -- COMMAND...}
prefix=${2:?usage: portable_run.sh WORK PREFIX -- COMMAND...}
shift 2
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || { echo "portable_run: no command" >&2; exit 2; }

# The letters go into an existing prefix: a prefix made around them never finishes its start.
# The command is the Wine runner (cmake/wine-run.sh), which makes the prefix on first use.
if [ ! -f "$prefix/system.reg" ]; then
  rm -rf "$prefix/dosdevices"
  "$1" --prefix "$prefix" --timeout 120 -- cmd.exe /c exit >/dev/null 2>&1
fi
[ -d "$prefix/dosdevices" ] || { echo "portable_run: no Wine prefix at $prefix" >&2; exit 2; }

rm -rf "$work"
mkdir -p "$work/stick/KeskVLM/tools" "$work/stick/data" || exit 2
printf 'hello' >"$work/stick/KeskVLM/tools/hello.txt"
printf 'data' >"$work/stick/data/d.txt"
resources=$(cd "$(dirname "$0")/../../resources" && pwd) || exit 2
cp "$resources/notFound.ico" "$work/stick/KeskVLM/" && cp -r "$resources/skin" "$work/stick/KeskVLM/" ||
  exit 2
for letter in m n; do
  ln -sfn "$work/stick" "$prefix/dosdevices/$letter:" || exit 2
done
export KESK_PORTABLE_WORK="$work"

"$@"
rc=$?
rm -f "$prefix/dosdevices/m:" "$prefix/dosdevices/n:"
exit $rc

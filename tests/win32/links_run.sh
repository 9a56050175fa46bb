#!/usr/bin/env bash
# Prepares the folders of tests/win32/links_test.cpp and runs a test command with them:
#
#   links_run.sh WORK -- COMMAND [ARGS...]
#
# WORK/prog/velora.ini is a relative symbolic link to WORK/sync/velora.ini, and WORK/ro is a
# folder that refuses writes. The command finds WORK in KESK_LINKS_WORK. After the command the
# link must still be a link. Permissions do not bind root, so as root the read-only folder is a
# read-only bind mount in a mount namespace of the command's own, gone when it ends.
set -u
work=${1:?usage: links_run.sh WORK -- COMMAND...}
shift
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || { echo "links_run: no command" >&2; exit 2; }

chmod -R u+w "$work" 2>/dev/null
rm -rf "$work"
mkdir -p "$work/prog" "$work/sync" "$work/ro" || exit 2
catalogue='[Window]\r\nheightOffset=0\r\n[Notes]\r\nName=Notes\r\nTarget=C:\\windows\\notepad.exe\r\nParam=\r\nWorkdir=\r\nIcon=\r\nGroup=Tools\r\n'
printf "$catalogue" >"$work/sync/velora.ini"
printf "$catalogue" >"$work/ro/velora.ini"
ln -s ../sync/velora.ini "$work/prog/velora.ini"
# The program's own files, which a build needs beside the catalogue.
resources=$(cd "$(dirname "$0")/../../resources" && pwd) || exit 2
for dir in "$work/prog" "$work/ro"; do
  cp "$resources/notFound.ico" "$dir/" && cp -r "$resources/skin" "$dir/" || exit 2
done
chmod a-w "$work/ro"
export KESK_LINKS_WORK="$work"

if [ "$(id -u)" = 0 ]; then
  unshare -m bash -c 'mount --bind "$0" "$0" && mount -o remount,ro,bind "$0" && exec "$@"' \
    "$work/ro" "$@"
else
  "$@"
fi
rc=$?

if [ ! -L "$work/prog/velora.ini" ]; then
  echo "links_run: $work/prog/velora.ini is no longer a symbolic link" >&2
  rc=1
fi
chmod -R u+w "$work"
exit $rc

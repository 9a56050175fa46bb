#!/usr/bin/env bash
# Regenerates KeskVLM.ico (16, 24, 32, 48, 256 px) from shapes only, so no font is needed.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 256x256 xc:none \
  -fill '#1d3b8f' -draw 'roundrectangle 8,8 247,247 40,40' \
  -fill '#f2b632' -draw 'polygon 56,64 100,64 128,168 156,64 200,64 148,204 108,204' \
  "$tmp/base.png"
for s in 16 24 32 48 256; do convert "$tmp/base.png" -resize ${s}x${s} "$tmp/i$s.png"; done
convert "$tmp/i16.png" "$tmp/i24.png" "$tmp/i32.png" "$tmp/i48.png" "$tmp/i256.png" KeskVLM.ico

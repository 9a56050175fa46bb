#!/usr/bin/env bash
# Regenerates the default skin (skin/*.bmp) and the fallback item picture (notFound.ico) from
# shapes and gradients only, so no font is needed. The colours of skin/skin.ini are chosen to
# match: a navy head bar, gold accents, light lists.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p skin

navy='#1d3b8f'
deep='#0b1633'
gold='#f2b632'

# 24-bit bitmaps with a plain info header: every picture loader reads those.
bmp24() { convert "$1" -alpha off -type TrueColor "BMP3:$2"; }

# Background of the four groups (573 x 529 px): a navy-to-night gradient, a soft light band
# across the top behind the group headings and a few faint diagonal stripes for depth.
convert -size 573x529 "gradient:$navy-$deep" \
  \( -size 573x529 xc:none -fill 'rgba(255,255,255,0.07)' \
     -draw 'polygon 0,529 180,0 250,0 70,529' \
     -draw 'polygon 200,529 380,0 410,0 230,529' \
     -draw 'polygon 420,529 573,80 573,170 480,529' \) -composite \
  \( -size 573x24 "gradient:rgba(255,255,255,0.18)-rgba(255,255,255,0)" \) -geometry +0+0 -composite \
  -fill "$gold" -draw 'rectangle 0,0 572,1' \
  "$tmp/bg.png"
bmp24 "$tmp/bg.png" skin/Velora_BG.bmp

# Context menu panel (133 x 109 px): a slate gradient with a gold rule under the heading.
convert -size 133x109 'gradient:#2b3f73-#121b36' \
  -fill "$gold" -draw 'rectangle 0,0 132,1' \
  -fill 'rgba(255,255,255,0.25)' -draw 'rectangle 6,22 126,22' \
  "$tmp/menu.png"
bmp24 "$tmp/menu.png" skin/Velora_BG_menu.bmp

# Item editor panel (437 x 305 px): the same family, lighter, with a faint frame.
convert -size 437x305 'gradient:#27447f-#0f1d3d' \
  -fill none -stroke 'rgba(242,182,50,0.6)' -strokewidth 1 -draw 'rectangle 3,3 433,301' \
  -stroke none -fill "$gold" -draw 'rectangle 0,0 436,1' \
  "$tmp/edit.png"
bmp24 "$tmp/edit.png" skin/Velora_BG_edit.bmp

# Fallback picture: a white page with a folded corner, crossed out by a red disc with a white X.
# Drawn large and reduced, so both sizes come out smooth.
convert -size 128x128 xc:none \
  -fill '#f4f6fb' -stroke '#5b6478' -strokewidth 4 \
  -draw 'polygon 22,6 84,6 110,32 110,122 22,122' \
  -fill '#c9cfdc' -draw 'polygon 84,6 84,32 110,32' \
  -stroke none -fill '#d62f2f' -draw 'circle 84,92 84,58' \
  -stroke white -strokewidth 11 -draw 'line 70,78 98,106' -draw 'line 98,78 70,106' \
  "$tmp/nf.png"
convert "$tmp/nf.png" -resize 32x32 "$tmp/nf32.png"
convert "$tmp/nf.png" -resize 16x16 "$tmp/nf16.png"
convert "$tmp/nf32.png" "$tmp/nf16.png" notFound.ico

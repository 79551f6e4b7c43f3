#!/usr/bin/env bash
# Draws the program icon, a little stick figure on white, and writes it as
# zirna.ico: one 32 by 32 image in 256 colours (8 bits per pixel).
# Needs ImageMagick and icoutils; the .ico is committed, so a build does not.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert -size 32x32 xc:white -stroke black -strokewidth 1 -fill none \
    -draw "line 16,9 16,20" \
    -draw "line 16,20 11,29" -draw "line 16,20 21,29" \
    -draw "line 16,12 10,17" -draw "line 10,17 7,12" \
    -draw "line 16,12 22,17" -draw "line 22,17 26,21" \
    -fill white -draw "circle 16,5 16,1" \
    -alpha off -colors 256 "png8:$work/icon.png"
icotool -c -b 8 -o zirna.ico "$work/icon.png"

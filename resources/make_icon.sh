#!/usr/bin/env bash
# Draws korvelt.ico: a closed parcel with a down arrow, in the sizes the
# shell asks for (16, 32, 48 and 256 pixels). Needs ImageMagick's convert.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert -size 256x256 xc:none \
  -fill '#1f5fa8' -stroke '#123a66' -strokewidth 6 \
  -draw 'roundrectangle 28,72 228,236 18,18' \
  -fill '#3f86d6' -stroke '#123a66' -strokewidth 6 \
  -draw 'polygon 28,72 64,28 192,28 228,72' \
  -stroke none -fill '#f2c14e' \
  -draw 'rectangle 114,28 142,236' \
  -fill '#ffffff' -stroke '#123a66' -strokewidth 5 \
  -draw 'polygon 96,110 160,110 160,160 190,160 128,218 66,160 96,160' \
  "$work/icon-256.png"

for size in 16 32 48; do
  convert "$work/icon-256.png" -filter Lanczos -resize ${size}x${size} "$work/icon-$size.png"
done
# 8 bits a channel keep the 256-pixel image (stored as PNG) small.
convert "$work/icon-16.png" "$work/icon-32.png" "$work/icon-48.png" "$work/icon-256.png" -depth 8 "$here/korvelt.ico"

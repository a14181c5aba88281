#!/usr/bin/env bash
# Draws korvelt.ico: a closed parcel with a down arrow, in the sizes the
# shell asks for (16, 32, 48 and 256 pixels). Needs ImageMagick's convert
# and pngquant.
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
# Every size is stored as PNG, which Windows reads from Vista on, with a
# palette of 32 colours that keeps each colour's own transparency: the
# drawing has few colours, so the icon looks the same and weighs a third
# of what full-colour PNGs (and a tenth of what bitmaps) would add to the
# bootstrapper.
for size in 16 32 48 256; do
  convert "$work/icon-$size.png" -depth 8 -strip "PNG32:$work/full-$size.png"
  pngquant --strip --speed 1 --output "$work/packed-$size.png" 32 "$work/full-$size.png"
done
python3 - "$work" "$here/korvelt.ico" <<'PY'
import struct, sys
work, out = sys.argv[1], sys.argv[2]
images = [(size, open("%s/packed-%d.png" % (work, size), "rb").read()) for size in (16, 32, 48, 256)]
offset = 6 + 16 * len(images)
header = struct.pack("<3H", 0, 1, len(images))
entries = b""
for size, data in images:
    entries += struct.pack("<4B2H2I", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
with open(out, "wb") as ico:
    ico.write(header + entries + b"".join(data for _, data in images))
PY

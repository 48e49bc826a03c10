#!/bin/sh
# Renders ostrane.svg into the four PNG sizes and packs them into ostrane.ico.
# Needs rsvg-convert (librsvg2-bin) and icotool (icoutils).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for size in 16 32 48 256; do
  rsvg-convert --width "$size" --height "$size" --format png \
    --output "$tmp/ostrane-$size.png" "$here/ostrane.svg"
done

# The small sizes are stored as bitmaps, which every Windows version reads;
# 256 px stays PNG to keep the file small.
icotool --create --output "$here/ostrane.ico" \
  "$tmp/ostrane-16.png" "$tmp/ostrane-32.png" "$tmp/ostrane-48.png" \
  --raw="$tmp/ostrane-256.png"

# Keep the renderings for a look when asked to.
if [ -n "${OSTRANE_ICON_PREVIEW:-}" ]; then
  mkdir -p "$OSTRANE_ICON_PREVIEW"
  cp "$tmp"/ostrane-*.png "$OSTRANE_ICON_PREVIEW"/
fi

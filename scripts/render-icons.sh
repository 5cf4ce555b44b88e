#!/usr/bin/env bash
# Renders packaging/icons/glimmer.svg into the PNG sizes the desktop theme and the
# dialog's window use (packaging/icons/NxN/glimmer.png). Run after editing the SVG
# and commit the PNGs with it.
set -euo pipefail
cd "$(dirname "$0")/../packaging/icons"
command -v rsvg-convert >/dev/null || {
  echo "render-icons.sh: rsvg-convert is missing (apt-get install librsvg2-bin)" >&2
  exit 1
}
for size in 16 24 32 48 64 128 256; do
  mkdir -p "${size}x${size}"
  rsvg-convert --width "$size" --height "$size" --output "${size}x${size}/glimmer.png" glimmer.svg
done

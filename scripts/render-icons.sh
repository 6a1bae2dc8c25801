#!/usr/bin/env bash
# Renders the program's icon (packaging/icons/k3gap.svg) into the PNG sizes the desktop menus use.
# The PNGs are kept in the tree, so a build needs no SVG renderer; run this after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")/../packaging/icons"
command -v rsvg-convert >/dev/null || { echo "rsvg-convert missing (Debian package librsvg2-bin)" >&2; exit 1; }
for n in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$n" -h "$n" k3gap.svg -o "k3gap-$n.png"
done

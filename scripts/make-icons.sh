#!/usr/bin/env bash
# Renders the station's icon (packaging/icons/winorvex.svg) into the hicolor sizes the package
# installs (packaging/icons/hicolor/NxN/apps/winorvex.png). The PNGs are committed; run this again
# after changing the SVG. Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../packaging/icons"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" -o "hicolor/${size}x${size}/apps/winorvex.png" winorvex.svg
done

#!/usr/bin/env bash
# Draws the program's icon, resources/Wendrix_P3D.ico (48, 32, 24 and 16 pixels): a white
# aircraft seen from above on a dark blue disc in a green ring. Run it after changing the
# drawing and commit the icon with it; the Windows build takes the committed file.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-missing.sh --no-install-recommends imagemagick
aircraft='128,36 140,52 141,104 216,138 216,156 141,142 138,190 166,208 166,220 128,210
  90,220 90,208 118,190 115,142 40,156 40,138 115,104 116,52'
convert -size 256x256 xc:none \
  -fill '#0b2a4a' -stroke '#32cd32' -strokewidth 16 -draw 'circle 128,128 128,12' \
  -fill white -stroke none -draw "polygon ${aircraft//$'\n'/}" \
  -define icon:auto-resize=48,32,24,16 resources/Wendrix_P3D.ico
echo resources/Wendrix_P3D.ico

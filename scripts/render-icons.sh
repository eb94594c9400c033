#!/usr/bin/env bash
# Renders the program's icon, forms/images/mirel.svg, into the PNG sizes that are kept next to it
# (needs rsvg-convert from librsvg2-bin). Run it after changing the SVG and commit the PNGs: the
# build uses them as they are. The 16 and 32 pixel icons are drawn by hand, pixel by pixel, and
# are not rendered.
set -euo pipefail
images=$(cd "$(dirname "$0")/../forms/images" && pwd)
for size in 24 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" "$images/mirel.svg" --output "$images/mirel-$size.png"
done

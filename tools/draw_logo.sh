#!/bin/sh
# Draws the console's about-box logo (62x63): a white V on a warm disc, on the about box's
# own backdrop colour (58.58.60), drawn four times larger and scaled down for smooth edges.
# The PNG is committed; run this only to redraw it:
#   sh tools/draw_logo.sh console/gui/logo.png
set -e
out=${1:-console/gui/logo.png}
convert -size 248x252 xc:'#3A3A3C' \
  -fill '#E4572E' -stroke none -draw 'circle 124,126 124,10' \
  -fill none -stroke '#FFFFFF' -strokewidth 28 \
  -draw 'stroke-linecap round stroke-linejoin round polyline 70,72 124,180 178,72' \
  -filter Lanczos -resize 62x63\! -depth 8 \
  -strip -define png:exclude-chunks=date,time -define png:color-type=2 "$out"

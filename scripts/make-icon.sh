#!/usr/bin/env bash
# Draws the program's icon (a white K on a blue tile, with an orange archive corner) into
# src/main/resources/kestrel.ico at the sizes Windows asks for. The icon is committed; run this
# only to change it (needs ImageMagick's convert).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 256x256 xc:none \
    -fill '#1f5f8b' -draw 'roundrectangle 8,8 248,248 44,44' \
    -fill '#f2a541' -draw 'polygon 150,150 236,150 236,236 150,236' \
    -fill white -draw 'polygon 58,44 98,44 98,212 58,212' \
    -fill white -draw 'polygon 98,124 176,44 222,44 126,140' \
    -fill white -draw 'polygon 112,126 138,104 218,212 170,212' \
    -depth 8 "$work/kestrel.png"
convert "$work/kestrel.png" -define icon:auto-resize=256,64,48,32,24,16 \
    "$here/src/main/resources/kestrel.ico"

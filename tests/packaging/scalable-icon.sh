#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The scalable icon is the 32x32 design: drawn at 32x32 it equals the PNG
# pixel for pixel, and drawn at 256x256 each pixel is one 8x8 block of it.
# Usage: scalable-icon.sh ICON.svg ICON-32.png
set -euo pipefail
svg=$1 png=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert "$png" PNG32:"$work/reference.png"
for size in 32 256; do
  rsvg-convert -w $size -h $size "$svg" -o "$work/drawn.png"
  convert "$work/drawn.png" -filter point -resize 32x32 PNG32:"$work/drawn-32.png"
  differing=$(compare -metric AE "$work/drawn-32.png" "$work/reference.png" null: 2>&1) || true
  if [[ $differing != 0 ]]; then
    echo "FAIL: the SVG drawn at ${size}x${size} differs from $png in $differing pixels" >&2
    exit 1
  fi
done
echo "the SVG draws the 32x32 icon exactly at 32 and 256 pixels"

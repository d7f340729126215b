#!/bin/sh
# Redraws the JPEG templates of the tree generator (ImageMagick). They use 1x1
# sampling so that the generator can shrink the frame size by up to 7 pixels
# without changing the coded data.
set -e
cd "$(dirname "$0")"
for s in 64x48 48x64 80x64 40x40; do
    convert -size "$s" gradient:'#3a7bd5-#f4d03f' -swirl 90 -strip -sampling-factor 1x1 -quality 70 \
        -interlace none "baseline-$s.jpg"
    convert -size "$s" gradient:'#c0392b-#8e44ad' -swirl 120 -strip -sampling-factor 1x1 -quality 70 \
        -interlace JPEG "progressive-$s.jpg"
done

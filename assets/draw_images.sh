#!/bin/sh
# Draws the navigation pictures (Images/*.gif) and the sample pictures
# (samples/) with ImageMagick's convert, and the program icon's sizes
# (icons/kavo-N.png, and icons/kavo.ico for Windows) from icons/kavo.svg.
#
# The outputs are committed; run this only to change a drawing:
#   sh assets/draw_images.sh            (from the repository root or anywhere)
# Needs: scripts/setup.sh assets (imagemagick, librsvg2-bin, fonts-dejavu-core).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
img="$here/Images"
smp="$here/samples"
mkdir -p "$img"

# Pick a font file if DejaVu is there; otherwise convert's default font.
font_bold=
for f in /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf; do
    [ -f "$f" ] && font_bold="-font $f"
done

# GIF output without a time stamp or comment, so redraws are byte-stable.
gif() { convert "$@" -strip +repage "GIF:$last"; }

# --- logo1.gif 140x50: the wordmark on a blue plate -------------------------
last="$img/logo1.gif"
# shellcheck disable=SC2086
gif -size 140x50 xc:none \
    -fill '#1f4e8c' -draw 'roundrectangle 0,0 139,49 9,9' \
    -fill '#3d7cc9' -draw 'roundrectangle 3,3 136,30 7,7' \
    -fill '#f4c542' -draw 'circle 22,25 22,13' \
    -fill '#1f4e8c' -draw 'circle 22,25 22,19' \
    -fill white $font_bold -pointsize 28 -gravity west -annotate +42+0 'Kavo' \
    -colors 32

# --- ball1.gif, rect1.gif 16x16: list bullets --------------------------------
last="$img/ball1.gif"
gif -size 16x16 xc:none \
    -fill '#1f4e8c' -draw 'circle 7.5,7.5 7.5,1' \
    -fill '#3d7cc9' -draw 'circle 7,7 7,2.5' \
    -fill '#cfe3ff' -draw 'circle 5.5,5.5 5.5,4' \
    -colors 16

last="$img/rect1.gif"
gif -size 16x16 xc:none \
    -fill '#c9952d' -draw 'rectangle 1,3 14,13' \
    -fill '#f4c542' -draw 'rectangle 1,3 6,5' \
    -fill '#f4c542' -draw 'rectangle 2,6 13,12' \
    -colors 16

# --- prev/next 70x35: arrow buttons ------------------------------------------
# 1 plain (outline only), 2 highlighted (mouse over), 3 normal.
button() {  # name  plate  edge  arrow  label
    name=$1 plate=$2 edge=$3 arrow=$4 label=$5
    case $name in
        prev*) tri='polygon 8,17 22,7 22,27' text_at='+29+0' ;;
        *)     tri='polygon 61,17 47,7 47,27' text_at='+9+0' ;;
    esac
    last="$img/$name.gif"
    # shellcheck disable=SC2086
    gif -size 70x35 xc:'#cfcfcf' \
        -fill "$plate" -stroke "$edge" -strokewidth 2 -draw 'roundrectangle 1,1 68,33 8,8' \
        -stroke none -fill "$arrow" -draw "$tri" \
        -fill "$label" $font_bold -pointsize 13 -gravity west -annotate "$text_at" \
        "$(case $name in prev*) echo Prev ;; *) echo Next ;; esac)" \
        -colors 32
}
for side in prev next; do
    button "${side}1" '#cfcfcf' '#808080' '#808080' '#606060'
    button "${side}2" '#f4c542' '#c9952d' '#1f4e8c' '#1f4e8c'
    button "${side}3" '#3d7cc9' '#1f4e8c' '#ffffff' '#ffffff'
done

# --- icons/kavo-N.png: the program icon in the hicolor theme's sizes -----------
# icons/kavo.svg is the drawing; rsvg-convert (librsvg2-bin) renders each size.
for size in 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" "$here/icons/kavo.svg" -o "$here/icons/kavo-$size.png"
done
# icons/kavo.ico: kavo.exe's icon on Windows, with the sizes Explorer and the
# title bar ask for (the 256-pixel one stored as PNG).
ico_tmp=$(mktemp -d)
for size in 16 24 32; do
    rsvg-convert -w "$size" -h "$size" "$here/icons/kavo.svg" -o "$ico_tmp/kavo-$size.png"
done
convert "$ico_tmp/kavo-16.png" "$ico_tmp/kavo-24.png" "$ico_tmp/kavo-32.png" "$here/icons/kavo-48.png" \
    "$here/icons/kavo-64.png" "$here/icons/kavo-256.png" -strip "$here/icons/kavo.ico"
rm -rf "$ico_tmp"

# --- samples/: a few small pictures of all four types -------------------------
# Names include a space, Japanese and a subfolder, as a user's folder would.
rm -rf "$smp"
mkdir -p "$smp/旅行" "$smp/more pictures"
scene() {  # width height sky ground sun, then convert's output options
    w=$1 h=$2 sky=$3 ground=$4 sun=$5
    shift 5
    convert -size "${w}x${h}" "gradient:$sky-white" \
        -fill "$ground" -draw "polygon 0,$((h * 2 / 3)) $((w / 3)),$((h / 2)) $w,$((h * 3 / 4)) $w,$h 0,$h" \
        -fill "$sun" -draw "circle $((w * 3 / 4)),$((h / 4)) $((w * 3 / 4)),$((h / 4 + h / 10))" \
        "$@"
}
scene 120 90 '#6aa8e8' '#4f9a4f' '#ffd34d' -strip -quality 80 "$smp/hill.jpg"
scene 200 150 '#f0a060' '#705030' '#fff0a0' -strip -quality 75 "$smp/夕焼け.jpg"
scene 90 120 '#9fc8ff' '#e0e0e0' '#ffffff' -strip -quality 80 "$smp/旅行/snow field.JPG"
scene 64 64 '#b080e0' '#303060' '#f0f0f0' -strip -colors 32 "GIF:$smp/night.gif"
convert -size 48x48 xc:'#cfcfcf' -fill '#3d7cc9' -draw 'circle 24,24 24,6' \
    -strip -colors 8 "GIF:$smp/旅行/ball.gif"
scene 80 60 '#70c070' '#806040' '#ffe070' -strip -type truecolor "BMP3:$smp/field.bmp"
scene 32 40 '#e07070' '#404040' '#ffffff' -strip -type truecolor "BMP3:$smp/more pictures/small red.bmp"
scene 150 100 '#60d0d0' '#2060a0' '#ffffff' -strip -colors 64 "PNG8:$smp/sea.png"
convert -size 64x64 xc:none -fill '#f4c542' -draw 'circle 32,32 32,4' \
    -fill '#1f4e8c' -draw 'circle 32,32 32,16' -strip "PNG32:$smp/more pictures/ring.png"
printf 'Sample pictures for trying the program.\n' > "$smp/about.txt"

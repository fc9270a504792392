#!/usr/bin/env bash
# Draws the program's icon into resources/: a silver disc with its centre
# hole and a small amber spark on its face, at 16, 32, 48, 64, 128 and 256
# pixels (orbweave-16.png ...): the first three for the program's windows,
# all of them for the desktop's icon theme. Then the splash picture,
# splash.png (480 by 300), which the program carries as bitmap 104: the disc
# on a night-blue field with a faint halo, the product's name beside it and a
# thin amber line below. Each size is drawn on a 256-pixel canvas with lines
# about one target pixel wide, then scaled down, so the small sizes stay crisp.
#
#   scripts/make-icons.sh            # needs ImageMagick and the DejaVu fonts (scripts/install-deps.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
convert=/usr/bin/convert
if [ ! -x "$convert" ]; then
  echo "make-icons.sh: $convert is missing; scripts/install-deps.sh installs ImageMagick" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

calc() { awk "BEGIN { printf \"%.1f\", $1 }"; }

c=128        # centre of the 256-pixel canvas
outer=120    # disc radius
hub=50       # clear hub around the hole
sx=178       # the spark's centre
sy=82

# The silver face: a conic sheen, brightest along one diagonal, with a faint
# rainbow that turns with the angle as on a pressed disc.
sheen='tt=atan2(j-h/2,i-w/2)-0.7; 0.74+0.16*cos(2*tt)+0.05*cos(6*tt+0.5)'
"$convert" -size 256x256 xc:gray \
  -channel R -fx "$sheen+0.05*cos(2*tt+0.0)" \
  -channel G -fx "$sheen+0.05*cos(2*tt+2.1)" \
  -channel B -fx "$sheen+0.05*cos(2*tt+4.2)+0.03" \
  +channel "$work/face.png"

# A four-pointed star around the spark's centre: arm length, waist.
star() {
  awk -v x=$sx -v y=$sy -v a="$1" -v w="$2" 'BEGIN {
    printf "%.1f,%.1f %.1f,%.1f %.1f,%.1f %.1f,%.1f %.1f,%.1f %.1f,%.1f %.1f,%.1f %.1f,%.1f",
      x, y - a, x + w, y - w, x + a, y, x + w, y + w, x, y + a, x - w, y + w, x - a, y, x - w, y - w }'
}

draw() {
  local size=$1
  local px rim hole arm waist
  px=$(calc "256 / $size")                 # one target pixel on the canvas
  rim=$(calc "$px < 5 ? 5 : $px")
  # The hole and the spark are larger at the small sizes, where they must
  # still be seen.
  hole=$((size <= 16 ? 27 : 19))
  arm=$((size <= 16 ? 70 : (size <= 32 ? 68 : 60)))
  waist=$((arm / 5))

  # The ring between the hole and the rim.
  "$convert" -size 256x256 xc:black -fill white -draw "circle $c,$c $((c + outer)),$c" \
    -fill black -draw "circle $c,$c $((c + hole)),$c" "$work/mask.png"

  # Face, hub (lighter and flatter than the data area, edged by a thin ring,
  # with the stacking ring where it does not blur away), rims, cut to shape.
  local disc=("$work/face.png"
    \( -size 256x256 xc:none -fill 'rgba(236,239,243,0.72)' -draw "circle $c,$c $((c + hub)),$c" \)
    -composite -fill none)
  if [ "$size" -gt 16 ]; then
    disc+=(-stroke '#a7afba' -strokewidth "$px" -draw "circle $c,$c $((c + hub)),$c"
      -stroke '#c9ced6' -strokewidth "$(calc "$px * 2")" -draw "circle $c,$c $((c + hub - 14)),$c")
  fi
  disc+=(-stroke '#66707c' -strokewidth "$rim" -draw "circle $c,$c $(calc "$c + $outer - $rim / 2"),$c"
    -strokewidth "$(calc "$rim * 0.8")" -draw "circle $c,$c $(calc "$c + $hole + $rim * 0.4"),$c"
    "$work/mask.png" -alpha off -compose CopyOpacity -composite)
  "$convert" "${disc[@]}" "$work/disc.png"

  # The spark: a warm glow, an amber star and a white-hot core.
  "$convert" -size 256x256 xc:none \
    \( -size "$((arm * 2))x$((arm * 2))" radial-gradient:'rgba(255,150,40,0.8)-rgba(255,120,20,0)' \) \
    -geometry "+$((sx - arm))+$((sy - arm))" -composite \
    -fill '#f07818' -stroke '#a8440a' -strokewidth "$(calc "$px * 0.6")" -draw "polygon $(star "$arm" "$waist")" \
    -stroke none -fill '#ffe9a8' -draw "polygon $(star "$(calc "$arm * 0.55")" "$(calc "$waist * 0.6")")" \
    -fill white -draw "circle $sx,$sy $(calc "$sx + $waist * 0.45"),$sy" \
    "$work/spark.png"

  "$convert" "$work/disc.png" "$work/spark.png" -composite \
    -filter Lanczos -resize "${size}x${size}" -depth 8 -strip "$root/resources/orbweave-$size.png"
}

for size in 16 32 48 64 128 256; do
  draw "$size"
done
echo "wrote resources/orbweave-{16,32,48,64,128,256}.png"

"$convert" -size 480x300 gradient:'#1d3a5f-#0a1526' \
  \( -size 480x300 radial-gradient:'rgba(120,170,230,0.35)-rgba(120,170,230,0)' -geometry -110+0 \) -composite \
  \( "$root/resources/orbweave-256.png" -filter Lanczos -resize 176x176 \) -geometry +34+62 -composite \
  -fill '#9fb4cc' -font DejaVu-Sans -pointsize 17 -annotate +236+118 'K O R V A N E' \
  -fill white -font DejaVu-Sans-Bold -pointsize 31 -annotate +234+160 'Orbweave 9' \
  -fill '#f0a040' -font DejaVu-Sans -pointsize 15 -annotate +236+194 'burn  ·  copy  ·  rip' \
  -fill '#f07818' -draw 'rectangle 0,294 480,299' \
  -alpha off -depth 8 -strip "$root/resources/splash.png"
echo "wrote resources/splash.png"

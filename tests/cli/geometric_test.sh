#!/bin/sh
# The geometric operations from the shell: Flip and whole-image Turn 90
# against ImageMagick, Rotate's new image, and the exit codes.
set -eu
cli=$1
dir=$2
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
convert -size 7x5 xc: -fx 'rand()' -depth 8 BMP3:in.bmp

same() {
  compare -metric AE "$1" "$2" null: 2>ae.txt || { echo "$1 differs from $2: $(cat ae.txt) pixels"; exit 1; }
}
"$cli" apply in.bmp v.bmp --op Flip 2>/dev/null
convert in.bmp -flip BMP3:v-im.bmp
same v.bmp v-im.bmp
"$cli" apply in.bmp h.bmp --op Flip --set Vertical=0 --set Horizontal=1 2>/dev/null
convert in.bmp -flop BMP3:h-im.bmp
same h.bmp h-im.bmp
for steps in 1 2 3; do
  "$cli" apply in.bmp t$steps.bmp --op "Turn 90" --set Steps=$steps 2>/dev/null
  convert in.bmp -rotate $((steps * 90)) BMP3:t$steps-im.bmp
  same t$steps.bmp t$steps-im.bmp
done
[ "$(identify -format '%wx%h' t1.bmp)" = 5x7 ] || { echo "a quarter turn keeps the size"; exit 1; }

# Rotate without "In Place": OUT is the new image (coverage as alpha), IN stays.
cp in.bmp keep.bmp
"$cli" apply keep.bmp new.bmp --op Rotate --set "In Place=0" 2>/dev/null
cmp -s in.bmp keep.bmp || { echo "IN was written"; exit 1; }
[ "$(identify -format "%wx%h %A" new.bmp)" = "8x8 True" ] ||
  { echo "new image: $(identify -format '%wx%h %A' new.bmp)"; exit 1; }
[ "$(convert new.bmp -format '%[fx:p{0,0}.a] %[fx:p{4,4}.a]' info:)" = "0 1" ] ||
  { echo "coverage: $(convert new.bmp -format '%[fx:p{0,0}.a] %[fx:p{4,4}.a]' info:)"; exit 1; }
"$cli" apply keep.bmp new24.bmp --op Rotate --set "In Place=0" --depth 24 2>/dev/null
[ "$(identify -format '%wx%h %A' new24.bmp)" = "8x8 False" ] || { echo "--depth 24 not kept"; exit 1; }

# Exit codes: 2 bad usage, 1 no change (with the message), 0 done.
status() { set +e; "$cli" "$@" 2>err.txt; echo $?; set -e; }
[ "$(status apply in.bmp x.bmp --op Swirl --set Whorls=3)" = 2 ] || { echo "unknown parameter"; exit 1; }
[ "$(status apply in.bmp x.bmp --op Spin)" = 2 ] || { echo "unknown operation"; exit 1; }
[ "$(status apply in.bmp --op Swirl)" = 2 ] || { echo "missing output"; exit 1; }
[ "$(status apply in.bmp x.bmp --op Swirl --set Angle=0)" = 1 ] || { echo "no change must fail"; exit 1; }
grep -q 'The settings for this operation will produce no change.' err.txt || { cat err.txt; exit 1; }
[ ! -e x.bmp ] || { echo "nothing must be written"; exit 1; }
# Dome below 0 is a Trend's range: --set clamps it, a settings file reaches it.
"$cli" apply in.bmp clamped.bmp --op Dome --set Distortion=-500 2>err.txt && { echo "clamped to 0: no change"; exit 1; }
printf 'QVOPSET Pixanta:Q/v File\n\nDome: -500\n' >pinch.qvs
"$cli" apply in.bmp pinch.bmp --op Dome --settings pinch.qvs 2>/dev/null
cmp -s in.bmp pinch.bmp && { echo "Dome -500 changed nothing"; exit 1; }
# Perspective with another picture as its source; Surface Warp with a map.
convert -size 7x5 xc:red BMP3:red.bmp
"$cli" apply in.bmp p.bmp --op Perspective --source red.bmp --set "X Mag=480" --set "Y Mag=480" 2>/dev/null
same p.bmp red.bmp
"$cli" apply in.bmp s.bmp --op "Surface Warp" --source red.bmp 2>/dev/null
echo "geometric ok"

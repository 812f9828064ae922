#!/bin/sh
# pixqv-cli render and sample, read back by netpbm and ImageMagick: the files
# are real bitmaps, and the pixels are those a view of that size shows.
set -eu
cli=$1
dir=$2
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
fail() { echo "FAIL: $*"; exit 1; }
# The pixels of a picture as "x,y: (r,g,b)" lines.
pixels() { convert "$1" txt:- | sed -n 's/^\([0-9]*,[0-9]*\): *(\([0-9]*\),\([0-9]*\),\([0-9]*\)[,0-9]*).*/\1: (\2,\3,\4)/p'; }
expect() {
  pixels "$1" | grep -qx "$2" || { echo "FAIL: $1 lacks pixel $2"; pixels "$1"; exit 1; }
}
# Bits per pixel from the bitmap's header.
bits() { od -An -tu2 -j28 -N2 "$1" | tr -d ' '; }

# Mode 0 at 1:1 is the picture itself.
convert -size 7x5 gradient:'rgb(250,10,30)-rgb(20,200,90)' -fill 'rgb(1,2,3)' -draw 'point 3,2' BMP3:in.bmp
"$cli" render in.bmp same.bmp --mode 0
bmptopnm in.bmp >in.ppm 2>/dev/null
bmptopnm same.bmp >same.ppm 2>/dev/null || fail "netpbm cannot read the rendered bitmap"
cmp -s in.ppm same.ppm || fail "mode 0 at 1:1 changed pixels"
[ "$(bits same.bmp)" = 24 ] || fail "mode 0 is not 24-bit"

# A view wider than the image repeats columns 0, 0, 1.
convert -size 2x1 xc:red -fill blue -draw 'point 1,0' BMP3:two.bmp
"$cli" render two.bmp wide.bmp --mode 0 --size 3x1
expect wide.bmp '0,0: (255,0,0)'
expect wide.bmp '1,0: (255,0,0)'
expect wide.bmp '2,0: (0,0,255)'

# A zoom region shows only its part; a maximised view keeps the shape and
# fills the margins with the off-image colour (black).
convert -size 4x1 xc:white -fill red -draw 'point 2,0' -fill lime -draw 'point 3,0' BMP3:four.bmp
"$cli" render four.bmp zoom.bmp --mode 0 --size 2x1 --region 2,0,4,0
expect zoom.bmp '0,0: (255,0,0)'
expect zoom.bmp '1,0: (0,255,0)'
"$cli" render two.bmp max.bmp --mode 0 --size 4x4 --maximised
expect max.bmp '0,0: (0,0,0)'
expect max.bmp '0,1: (255,0,0)'
expect max.bmp '3,2: (0,0,255)'
expect max.bmp '3,3: (0,0,0)'

# The region a maximised view covers once widened over its margins draws
# the same picture again, so refreshed rows land where they were drawn.
region=$("$cli" render two.bmp max.bmp --mode 0 --size 4x4 --maximised | sed -n 's/^region: //p')
[ "$region" = "0,0,1,1" ] || fail "the 4x4 view covers '$region', not 0,0,1,1"
"$cli" render two.bmp again.bmp --mode 0 --size 4x4 --maximised --region 0,0,1,1 >/dev/null
cmp -s max.bmp again.bmp || fail "the widened region draws the picture elsewhere"
convert -size 97x61 gradient:'rgb(250,10,30)-rgb(20,200,90)' -fill blue -draw 'line 0,0 96,60' BMP3:g.bmp
for view in '300x120' '160x400' '200x90 --region 40,20,49,25' '120x100 --region -30,50,20,70'; do
  # shellcheck disable=SC2086
  region=$("$cli" render g.bmp fit1.bmp --mode 0 --maximised --size $view | sed -n 's/^region: //p')
  size=${view%% *}
  "$cli" render g.bmp fit2.bmp --mode 0 --maximised --size "$size" --region "$region" >/dev/null
  cmp -s fit1.bmp fit2.bmp || fail "$view: drawn again through $region, the picture moves"
done

# Black and white: a luminance of 192 stays black, 193 turns white, in a
# 1-bit file. (194,194,194) sums to 64 + 79 + 49 = 192, (195,194,194) to 193.
convert -size 1x1 'xc:rgb(194,194,194)' BMP3:g192.bmp
convert -size 1x1 'xc:rgb(195,194,194)' BMP3:g193.bmp
"$cli" render g192.bmp bw192.bmp --mode 5
"$cli" render g193.bmp bw193.bmp --mode 5
[ "$(bits bw192.bmp)" = 1 ] || fail "mode 5 is not 1-bit"
expect bw192.bmp '0,0: (0,0,0)'
expect bw193.bmp '0,0: (255,255,255)'
bmptopnm bw193.bmp 2>/dev/null | head -c 2 | grep -q P4 || fail "netpbm does not read mode 5 as a bitmap"

# The alpha view of a picture without alpha is white; 16 colours are 4-bit.
"$cli" render in.bmp alpha.bmp --mode 0 --alpha-view
[ "$(convert alpha.bmp -format '%k %[fx:minima.r*255]' info:)" = "1 255" ] || fail "alpha view is not all white"
"$cli" render in.bmp c16.bmp --mode 3 --size 20x10
[ "$(bits c16.bmp)" = 4 ] || fail "mode 3 is not 4-bit"
[ "$(identify -format '%w %h' c16.bmp)" = "20 10" ] || fail "mode 3 size"

# The sample picture: the same bytes every time, 32-bit with alpha, and the
# alpha shows through a render (the transparent corner is the alpha colour).
"$cli" sample s1.bmp --size 96x64
"$cli" sample s2.bmp --size 96x64
cmp -s s1.bmp s2.bmp || fail "the sample picture is not deterministic"
"$cli" info s1.bmp | grep -q 'alpha: *yes' || fail "the sample has no alpha"
[ "$(identify -format '%w %h' s1.bmp)" = "96 64" ] || fail "sample size"
"$cli" render s1.bmp s1view.bmp --mode 0
expect s1view.bmp '0,0: (0,0,255)'
"$cli" render s1.bmp s1alpha.bmp --mode 2 --alpha-view
expect s1alpha.bmp '0,0: (0,0,0)'
expect s1alpha.bmp '48,32: (255,255,255)'

# Bad arguments fail with a reason and exit 2; unreadable input exits 1.
bad() {
  code=0
  "$cli" "$@" 2>err.txt >/dev/null || code=$?
  [ "$code" = 2 ] || fail "'$*' exited $code, not 2"
  grep -q "pixqv-cli $1: " err.txt || fail "'$*' gave no reason"
}
bad render in.bmp x.bmp
bad render in.bmp x.bmp --mode 9
bad render in.bmp x.bmp --mode 1 --size 0x5
bad render in.bmp x.bmp --mode 1 --size 5
bad render in.bmp x.bmp --mode 1 --region 1,2,3
bad render in.bmp x.bmp --mode 1 --region 3,0,1,0
bad render in.bmp x.bmp --mode 1 --region 1,2,3,4,
bad render in.bmp x.bmp --mode 1 --frobnicate
bad render in.bmp x.png --mode 1
bad render in.bmp --mode 1
bad sample s.bmp --size 8x8
code=0
"$cli" render missing.bmp x.bmp --mode 0 2>err.txt || code=$?
[ "$code" = 1 ] || fail "unreadable input exited $code"
grep -q 'cannot read missing.bmp' err.txt || fail "no reason for the unreadable input"
[ ! -e x.bmp ] || fail "a failed render left a file"
echo "render ok"

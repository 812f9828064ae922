#!/bin/sh
# The headless showcase runs end to end, leaves a complete log behind, and
# writes the sample picture and its effects as bitmaps that other programs
# read, each changed where its effect applies and nowhere else.
set -eu
cli=$1
dir=$2
rm -rf "$dir"
out=$("$cli" showcase --dir "$dir")
expect() {
  printf '%s\n' "$out" | grep -qE -- "$1" || { echo "missing in output: $1"; printf '%s\n' "$out"; exit 1; }
}
fail() { echo "FAIL: $*"; exit 1; }
expect '^  \[2\] gradient\[clone\] +640 x 480 .*parent gradient$'
expect '^  \[3\] thirteen_char +64 x 48'
expect 'default palette 31 = \(0, 255, 255\), 244 = \(242, 242, 242\)'
expect '^          Pixanta:Q/v  Information log File$'
expect '^Mem Locked: N Size: 1228804 Name: iHrg$'
expect '^Operation : Contrast$'
expect '^Operation : Key to Alpha$'
expect '^In use at close: +[0-9]+ real +[0-9]+ virtual +[0-9]+ places$'
# What the close report frees is what it counted, and no picture is among it.
removed=$(printf '%s\n' "$out" | sed -n 's/^Auto - removed memory places = \([0-9]*\)$/\1/p')
freed=$(printf '%s\n' "$out" | grep -c '^Auto freed ')
[ -n "$removed" ] && [ "$removed" = "$freed" ] || fail "close report removed '$removed' places but freed $freed"
printf '%s\n' "$out" | grep -qE '^Auto freed +: (iHrg|iyof|inew|clon)' && fail "a picture was left at close"
cmp -s "$dir/QVLOG.txt" - <<LOG || fail "QVLOG.txt differs from what was printed"
$(printf '%s\n' "$out" | sed '1,/^---- QVLOG.txt ----$/d')
LOG

cd "$dir"
for f in sample contrast-ellipse colorize-polygon monochrome-wand keyalpha-diamond brightness-text \
         render-16colour render-2level; do
  printf '%s\n' "$out" | grep -q "^  wrote $dir/$f.bmp " || fail "no line for $f.bmp"
  bmptopnm "$f.bmp" >"$f.ppm" 2>/dev/null || fail "netpbm cannot read $f.bmp"
done
[ "$(identify -format '%w %h' sample.bmp)" = "640 480" ] || fail "sample size"

# Pixel (x, y) as r,g,b (and the alpha, 0..255, with a fourth argument).
rgb() { convert "$1" -format "%[fx:int(255*p{$2,$3}.r+.5)],%[fx:int(255*p{$2,$3}.g+.5)],%[fx:int(255*p{$2,$3}.b+.5)]" info:; }
alpha() { convert "$1" -format "%[fx:int(255*p{$2,$3}.a+.5)]" info:; }
changed() { [ "$(rgb "$1.ppm" "$2" "$3")" != "$(rgb sample.ppm "$2" "$3")" ] || fail "$1 unchanged at $2,$3"; }
same() { [ "$(rgb "$1.ppm" "$2" "$3")" = "$(rgb sample.ppm "$2" "$3")" ] || fail "$1 changed at $2,$3"; }
differing() { compare -metric AE "$1.ppm" sample.ppm null: 2>&1 || true; }

# The 640 x 480 sample: horizon at row 288, block 268..357 x 211..345, hue
# wheel at 134,158 (radius 72), diamond at 524,364, sun at 473,105.
changed contrast-ellipse 320 288
same contrast-ellipse 600 60
same contrast-ellipse 60 440
changed colorize-polygon 164 158
same colorize-polygon 312 278
mono=$(rgb monochrome-wand.ppm 312 278)
[ "$mono" != "$(rgb sample.ppm 312 278)" ] || fail "the wand's block is unchanged"
case $mono in "${mono%%,*},${mono%%,*},${mono%%,*}") ;; *) fail "the wand's block is not gray: $mono" ;; esac
same monochrome-wand 312 205
same monochrome-wand 250 300
same monochrome-wand 134 158
[ "$(alpha keyalpha-diamond.bmp 524 364)" = 0 ] || fail "Key to Alpha left the diamond opaque"
[ "$(alpha keyalpha-diamond.bmp 320 100)" = 255 ] || fail "Key to Alpha cleared the sky"
same keyalpha-diamond 524 364
n=$(differing brightness-text)
[ "$n" -gt 500 ] && [ "$n" -lt 60000 ] || fail "brightness through text changed $n pixels"
same brightness-text 600 60

# The renders are in the depths of their display modes, dithered.
bits() { od -An -tu2 -j28 -N2 "$1" | tr -d ' '; }
[ "$(bits render-16colour.bmp)" = 4 ] && [ "$(bits render-2level.bmp)" = 1 ] || fail "render depths"
[ "$(identify -format '%k' render-2level.bmp)" = 2 ] || fail "black and white render has not two colours"
k=$(identify -format '%k' render-16colour.bmp)
[ "$k" -gt 8 ] && [ "$k" -le 16 ] || fail "16-colour render has $k colours"
echo "showcase ok"

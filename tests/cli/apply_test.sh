#!/bin/sh
# pixqv-cli apply end to end on a BMP: a masked change read back by
# ImageMagick, and the message and exit code of an apply that changes nothing.
set -eu
cli=$1
dir=$2
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
convert -size 4x3 'xc:rgb(100,150,200)' BMP3:in.bmp
"$cli" apply in.bmp out.bmp --op Contrast --set Amount=-100 --area rect:1,0,2,2 2>progress.txt
grep -q 'Contrast' progress.txt || { echo "no progress on stderr"; exit 1; }
pixels=$(convert out.bmp txt:-)
expect() {
  printf '%s\n' "$pixels" | grep -q "^$1" || { echo "missing pixel: $1"; printf '%s\n' "$pixels"; exit 1; }
}
expect '0,0: (100,150,200)'
expect '1,0: (128,128,128)'
expect '2,2: (128,128,128)'
expect '3,1: (100,150,200)'

# Settings from a file, the operation by its id, an elliptic area.
printf 'QVOPSET Pixanta:Q/v File\n\nBrightness: -100\n' >dark.qvs
"$cli" apply in.bmp one.bmp --op 3182 --settings dark.qvs --area ellipse:2,1,1,1 2>/dev/null
pixels=$(convert one.bmp txt:-)
expect '2,1: (0,0,0)'
expect '0,0: (100,150,200)'

# Splatter: the operation lands on the splats only.
convert -size 40x40 'xc:rgb(100,150,200)' BMP3:big.bmp
"$cli" apply big.bmp splat.bmp --op Contrast --set Amount=-100 --area entire --splat 3,9,1,100,1,0 2>/dev/null
pixels=$(convert splat.bmp txt:-)
printf '%s\n' "$pixels" | grep -q '(128,128,128)' || { echo "no splat applied"; exit 1; }
printf '%s\n' "$pixels" | grep -q '(100,150,200)' || { echo "splats cover everything"; exit 1; }

# The pixels an apply with splatter changes are the splats the mask command
# shows, each clipped to the selection as drawn (not to its faded mask).
opts="--area entire --grow 50 --splat 6,9,1,150,1,0"
"$cli" apply big.bmp grown.bmp --op Contrast --set Amount=-100 $opts 2>/dev/null
for i in 0 1 2 3 4 5; do "$cli" mask big.bmp m$i.pgm $opts --splat-index $i; done
convert m0.pgm m1.pgm m2.pgm m3.pgm m4.pgm m5.pgm -evaluate-sequence max splats.pgm
convert splats.pgm txt:- | sed -n 's/^\([0-9]*,[0-9]*\): *(\([0-9]*\).*/\1 \2/p' |
  awk '$2 > 0 {print $1}' | sort >masked.txt
convert grown.bmp txt:- | sed -n 's/^\([0-9]*,[0-9]*\): *(\([0-9]*,[0-9]*,[0-9]*\)).*/\1 \2/p' |
  awk '$2 != "100,150,200" {print $1}' | sort >changed.txt
[ -s masked.txt ] || { echo "no splat selected anything"; exit 1; }
cmp -s masked.txt changed.txt ||
  { echo "splatter changed other pixels than its splats"; diff masked.txt changed.txt | head; exit 1; }

# Alpha tools are never limited by alpha, through splats neither: with alpha
# 255 and 254 in turn, every changed pixel is inverted, whatever its alpha.
convert -size 40x40 'xc:rgb(100,150,200)' -alpha set -channel A -fx '(i+j)%2 ? 254/255 : 1' +channel \
  -define bmp:format=bmp4 alpha.bmp
alphas() { convert "$1" txt:- | sed -n 's/^\([0-9]*,[0-9]*\): *([0-9]*,[0-9]*,[0-9]*,\([0-9]*\)).*/\1 \2/p'; }
alphas alpha.bmp >before.txt
"$cli" apply alpha.bmp inverted.bmp --op "Invert Alpha" --depth 32 2>/dev/null
alphas inverted.bmp | paste before.txt - | awk '$4 != 255 - $2 {bad++} END {exit bad > 0}' ||
  { echo "Invert Alpha left pixels"; exit 1; }
"$cli" apply alpha.bmp splat-inverted.bmp --op "Invert Alpha" --depth 32 --splat 5,9,1,1000,0,0 2>/dev/null
alphas splat-inverted.bmp | paste before.txt - |
  awk '$4 != $2 {n++; if ($4 != 255 - $2) bad++; if ($2 == 254) low++}
       END {if (bad || n < 16 || low < n / 3) {print n, bad + 0, low + 0; exit 1}}' ||
  { echo "splats of Invert Alpha were limited by alpha"; exit 1; }

# A radius far beyond the image: a band across it, at once.
"$cli" mask 100x100 band.pgm --area ellipse:50,50,2000000000,1
[ "$(convert band.pgm txt:- | grep -c 'gray(255)')" = 300 ] || { echo "the flat ellipse is not rows 49 to 51"; exit 1; }

# Rows shared out over threads give the same file as one thread.
convert -size 400x300 plasma:fractal -depth 8 -type TrueColor BMP3:wide.bmp
"$cli" apply wide.bmp t1.bmp --op Colorize --set Hue=200 --area ellipse:200,150,180,120 --threads 1 2>/dev/null
"$cli" apply wide.bmp t3.bmp --op Colorize --set Hue=200 --area ellipse:200,150,180,120 --threads 3 2>/dev/null
"$cli" --threads 2 apply wide.bmp t2.bmp --op Colorize --set Hue=200 --area ellipse:200,150,180,120 2>/dev/null
cmp -s t1.bmp t2.bmp || { echo "--threads before the command was not taken"; exit 1; }
cmp -s t1.bmp t3.bmp || { echo "three threads gave other bytes than one"; exit 1; }
if "$cli" apply wide.bmp t0.bmp --op Contrast --threads 0 2>err.txt; then echo "--threads 0 must be refused"; exit 1; fi
grep -q 'threads wants a count' err.txt || { cat err.txt; exit 1; }

if "$cli" apply in.bmp none.bmp --op contrast --set amount=0 2>err.txt; then
  echo "an apply that changes nothing must fail"; exit 1
fi
grep -q 'The settings for this operation will produce no change.' err.txt || { cat err.txt; exit 1; }
[ ! -e none.bmp ] || { echo "nothing must be written"; exit 1; }
# An operation not built yet (the first the listing marks, while there is one).
missing=$("$cli" ops | awk '/\[not yet available\]/ { print $1; exit }')
if [ -n "$missing" ]; then
  if "$cli" apply in.bmp x.bmp --op "$missing" 2>err.txt; then echo "$missing is not built yet"; exit 1; fi
  grep -q 'not available yet' err.txt || { cat err.txt; exit 1; }
fi
echo "apply ok"

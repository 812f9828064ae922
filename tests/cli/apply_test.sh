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

if "$cli" apply in.bmp none.bmp --op contrast --set amount=0 2>err.txt; then
  echo "an apply that changes nothing must fail"; exit 1
fi
grep -q 'The settings for this operation will produce no change.' err.txt || { cat err.txt; exit 1; }
[ ! -e none.bmp ] || { echo "nothing must be written"; exit 1; }
if "$cli" apply in.bmp x.bmp --op Swirl 2>err.txt; then echo "Swirl is not built yet"; exit 1; fi
grep -q 'not available yet' err.txt || { cat err.txt; exit 1; }
echo "apply ok"

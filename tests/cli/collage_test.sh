#!/bin/sh
# The collage operations from the shell: Place against ImageMagick's
# composite, the new images that Clip and Enlarge write to OUT, and the
# exit codes (Make Area has no image to write; sizes past the limit fail).
set -eu
cli=$1
dir=$2
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
convert -size 12x10 xc: -fx 'rand()' -depth 8 BMP3:a.bmp
convert -size 4x2 xc: -fx 'rand()' -depth 8 BMP3:b.bmp

same() {
  compare -metric AE "$1" "$2" null: 2>ae.txt || { echo "$1 differs from $2: $(cat ae.txt) pixels"; exit 1; }
}
status() { set +e; "$cli" "$@" 2>err.txt; echo $?; set -e; }

# Place of an opaque picture: its centre ((4 + 1) / 2, (2 + 1) / 2) on the
# selection's ((11 / 2, 9 / 2) for the whole image): top-left at +3+3.
"$cli" apply a.bmp placed.bmp --op Place --source b.bmp 2>/dev/null
convert a.bmp b.bmp -geometry +3+3 -composite BMP3:placed-im.bmp
same placed.bmp placed-im.bmp
# Centre (1, 1): the picture starts one column left of the image, cut there.
"$cli" apply a.bmp placed2.bmp --op Place --source b.bmp --area rect:0,0,3,3 2>/dev/null
convert a.bmp b.bmp -geometry -1+0 -composite BMP3:placed2-im.bmp
same placed2.bmp placed2-im.bmp

# Clip: OUT is the piece (the box, the mask as alpha); IN is left alone.
cp a.bmp keep.bmp
"$cli" apply keep.bmp piece.bmp --op Clip --area rect:2,3,7,5 2>/dev/null
cmp -s a.bmp keep.bmp || { echo "IN was written"; exit 1; }
[ "$(identify -format '%wx%h %A' piece.bmp)" = "6x3 True" ] ||
  { echo "piece: $(identify -format '%wx%h %A' piece.bmp)"; exit 1; }
convert a.bmp -crop 6x3+2+3 +repage -alpha on BMP3:piece-im.bmp
same piece.bmp piece-im.bmp
"$cli" apply a.bmp grey.bmp --op "Clip Alpha" --set "Assign the Result as Source=1" 2>/dev/null

# Enlarge and Reduce: a new image with "Replace" 0, the image itself with 1.
"$cli" apply a.bmp big.bmp --op Enlarge --set "X Dim=24" --set "Y Dim=20" --set Replace=0 2>/dev/null
[ "$(identify -format '%wx%h %A' big.bmp)" = "24x20 True" ] || { echo "enlarged: $(identify -format '%wx%h %A' big.bmp)"; exit 1; }
"$cli" apply a.bmp small.bmp --op Reduce --set "Constant zoom=1" --set "X Size=50" --set "Y Size=50" 2>/dev/null
[ "$(identify -format '%wx%h' small.bmp)" = "6x5" ] || { echo "reduced: $(identify -format '%wx%h' small.bmp)"; exit 1; }
# Every other pixel of a, exactly.
convert a.bmp -sample 6x5 BMP3:small-im.bmp
same small.bmp small-im.bmp

# Make Area changes a TimeLine: usage, nothing written.
[ "$(status apply a.bmp area.bmp --op "Make Area")" = 2 ] || { echo "Make Area must be refused"; exit 1; }
[ ! -e area.bmp ] || { echo "Make Area wrote a file"; exit 1; }
# A size past the image limit: message 70, nothing written.
printf 'QVOPSET Pixanta:Q/v File\n\nEnlarge: 200 200 99999 99999 1 0\n' >huge.qvs
[ "$(status apply a.bmp huge.bmp --op Enlarge --settings huge.qvs)" = 1 ] || { echo "a huge size must fail"; exit 1; }
grep -q 'Not enough memory for resulting image.' err.txt || { cat err.txt; exit 1; }
[ ! -e huge.bmp ] || { echo "nothing must be written"; exit 1; }
echo "collage ok"

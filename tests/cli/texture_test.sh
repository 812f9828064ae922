#!/bin/sh
# The texture, motion and math operations from the shell: Add Images and
# Subtract against ImageMagick's plus and difference, the dialogs' own row
# names, every operation once, and the exit codes.
set -eu
cli=$1
dir=$2
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
convert -size 23x17 xc: -fx 'rand()' -depth 8 BMP3:a.bmp
convert -size 23x17 xc: -fx 'rand()' -depth 8 BMP3:b.bmp

same() {
  compare -metric AE "$1" "$2" null: 2>ae.txt || { echo "$1 differs from $2: $(cat ae.txt) pixels"; exit 1; }
}
"$cli" apply a.bmp plus.bmp --op "Add Images" --set "On Gray=1" --source b.bmp 2>/dev/null
convert a.bmp b.bmp -compose plus -composite BMP3:plus-im.bmp
same plus.bmp plus-im.bmp
"$cli" apply a.bmp diff.bmp --op Subtract --source b.bmp 2>/dev/null
convert a.bmp b.bmp -compose difference -composite BMP3:diff-im.bmp
same diff.bmp diff-im.bmp
# Without --source the picture is its own source: absolute add doubles it.
"$cli" apply a.bmp twice.bmp --op 3163 --set "On Gray=1" 2>/dev/null
convert a.bmp a.bmp -compose plus -composite BMP3:twice-im.bmp
same twice.bmp twice-im.bmp

# Rows known by the dialog's text: Relief's "Depth", Spiral Blur's "Rotation".
convert -size 9x9 xc:'rgb(30,60,90)' BMP3:flat.bmp
"$cli" apply flat.bmp relief.bmp --op Relief --set Depth=8 2>/dev/null
[ "$(convert relief.bmp -format '%[fx:int(255*p{4,4}.r)] %[fx:int(255*p{0,8}.b)]' info:)" = "127 127" ] ||
  { echo "flat relief: $(convert relief.bmp -format '%[fx:255*p{4,4}.r]' info:)"; exit 1; }
"$cli" apply a.bmp s0.bmp --op "Spiral Blur" --set Rotation=0 2>/dev/null
"$cli" apply a.bmp s90.bmp --op "Spiral Blur" --set Rotation=90 --set Radius=6 2>/dev/null
cmp -s s0.bmp s90.bmp && { echo "Rotation and Radius were not taken"; exit 1; }

# Every operation of the three groups runs and shows its progress.
for op in Blur Sharpen Remove Shave Relief Elevations Contour "Apply Canvas" Dither \
          "Motion Blur" "Spiral Blur" Explode Derivative Variance "Add Images" Subtract; do
  "$cli" apply a.bmp out.bmp --op "$op" --area rect:3,3,18,12 2>err.txt || { echo "$op failed: $(cat err.txt)"; exit 1; }
  [ -s out.bmp ] || { echo "$op wrote nothing"; exit 1; }
  rm -f out.bmp
done

# Exit codes: 1 with the message for settings that change nothing, 2 bad usage.
status() { set +e; "$cli" "$@" 2>err.txt; echo $?; set -e; }
[ "$(status apply a.bmp x.bmp --op Blur --set "Radius /10=0")" = 1 ] || { echo "no change must fail"; exit 1; }
grep -q 'The settings for this operation will produce no change.' err.txt || { cat err.txt; exit 1; }
[ ! -e x.bmp ] || { echo "nothing must be written"; exit 1; }
[ "$(status apply a.bmp x.bmp --op "Motion Blur" --set Amount=0)" = 1 ] || { echo "Amount 0 must fail"; exit 1; }
[ "$(status apply a.bmp x.bmp --op Explode --set Rotation=3)" = 2 ] || { echo "Explode has no Rotation"; exit 1; }
echo "texture ok"

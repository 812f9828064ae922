#!/bin/sh
# pixqv-cli apply for the lighting and pattern operations: presets, the
# mapping palette, and the exit codes of bad ones.
set -eu
cli=$1
dir=$2
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
convert -size 40x30 xc:black BMP3:in.bmp
fails() {  # expected exit code, then the command
  code=$1
  shift
  set +e
  "$@" 2>err.txt
  got=$?
  set -e
  [ "$got" = "$code" ] || { echo "exit $got, not $code: $*"; cat err.txt; exit 1; }
}

# A preset by any case: Even Glow lights the centre (the default ring
# leaves it dark) with a peak half way to white, ahead of --set (which
# changes its colour).
"$cli" apply in.bmp glow.bmp --op annular --preset "even GLOW" --set Red=255 --set Green=0 --set Blue=0 2>/dev/null
pixels=$(convert glow.bmp txt:-)
# Centre (20, 15) of radii (20, 15): d = 0.083, s = 234 of the profile
# 255 - 255 i / 200; red 255 x 234 / 256, green (127 x 234 / 256) x 234 / 256.
centre=$(printf '%s\n' "$pixels" | grep '^20,15:')
case "$centre" in *"(233,106,106)"*) ;; *) echo "preset not applied: $centre"; exit 1 ;; esac
fails 2 "$cli" apply in.bmp x.bmp --op Asterize --preset "Nine Star"
grep -q '"Four Star"' err.txt || { echo "the preset names are not listed"; cat err.txt; exit 1; }
fails 2 "$cli" apply in.bmp x.bmp --op Shine --preset Halo

# The mapping palette from a GIMP palette: a Linear Fill at 270 degrees
# runs from its first entry on the left to its last on the right.
printf 'GIMP Palette\nName: Three\n#\n255 0 0 Red\n0 255 0 Green\n0 0 255 Blue\n' >three.gpl
"$cli" apply in.bmp fill.bmp --op "Linear Fill" --palette three.gpl --set Angle=270 --set Smooth=0 2>/dev/null
pixels=$(convert fill.bmp txt:-)
printf '%s\n' "$pixels" | grep -q '^0,10: (255,0,0)' || { echo "left is not the first entry"; exit 1; }
printf '%s\n' "$pixels" | grep -q '^39,10: (0,0,255)' || { echo "right is not the last entry"; exit 1; }
printf 'not a palette\n' >bad.gpl
fails 1 "$cli" apply in.bmp x.bmp --op "Linear Fill" --palette bad.gpl
fails 1 "$cli" apply in.bmp x.bmp --op "Linear Fill" --palette missing.gpl

# Settings that would change nothing: message 65, exit 1.
fails 1 "$cli" apply in.bmp x.bmp --op Outline --set Width=0
grep -q 'no change' err.txt || { echo "no message 65"; cat err.txt; exit 1; }
# Fire: the same seed gives the same flames, another seed others; they rise
# from the bottom edge in the base colour (blue).
"$cli" apply in.bmp fire1.bmp --op Fire 2>/dev/null
"$cli" apply in.bmp fire2.bmp --op Fire --set Seed=5 2>/dev/null
"$cli" apply in.bmp fire3.bmp --op Fire --set Seed=6 2>/dev/null
cmp -s fire1.bmp fire2.bmp || { echo "Fire differs for one seed"; exit 1; }
if cmp -s fire1.bmp fire3.bmp; then echo "Fire is the same for another seed"; exit 1; fi
convert fire1.bmp txt:- | grep '^20,29:' | grep -q ',25[0-5])' || { echo "no base colour at the edge"; exit 1; }

# Refract's curves come with its settings: "RcS" at zero leaves what the
# glass shows without colour.
convert -size 40x30 gradient:red-blue -swirl 90 BMP3:colour.bmp
{
  printf 'QVOPSET Pixanta:Q/v File\n\nRefract: 180\nRcS 0 200 0 255\n'
  i=0
  while [ $i -le 200 ]; do printf ' 0'; [ $((i % 20)) = 19 ] && printf '\n'; i=$((i + 1)); done
  printf '\n'
} >grey.qvs
"$cli" apply colour.bmp grey.bmp --op Refract --settings grey.qvs 2>/dev/null
convert grey.bmp txt:- | awk -F'[(),]' 'NR > 1 { d = $3 - $4; e = $4 - $5; if (d < -2 || d > 2 || e < -2 || e > 2) bad = 1 } END { exit bad }' ||
  { echo "Refract's RcS curve was not applied"; exit 1; }
"$cli" apply colour.bmp plain.bmp --op Refract 2>/dev/null
moved=$(compare -metric AE colour.bmp plain.bmp null: 2>&1 || true)
[ "$moved" != 0 ] || { echo "Refract changed nothing"; exit 1; }
echo ok

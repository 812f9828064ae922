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
echo ok

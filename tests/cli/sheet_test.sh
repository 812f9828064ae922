#!/bin/sh
# The exposure sheet on the command line: its cells listed, its frames made
# and read by ImageMagick, Perform refused without --replace and never
# writing a type it cannot write.
set -eu
cli=$1
dir=$2
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
fail() { echo "$1"; exit 1; }

"$cli" sample bg.bmp --size 64x48
convert-im6.q16 -size 64x48 xc:none -fill yellow -draw "circle 32,24 32,10" actor.tga
convert-im6.q16 -size 8x8 xc:red still.ppm
cat >s.tml <<'TML'
TIMELINE - s.tml
Frames:2
ACT L:1 F:1 V:0 S:1 I:1 bg.bmp
ACT L:1 F:2 =
ACT L:2 F:1 V:0 S:1 I:1 actor.tga
ACT L:3 F:2 V:0 S:1 I:1 still.ppm
SRC L:1 F:1 V:0 S:1 I:1 skipped.bmp
TML

"$cli" generate s.tml --sheet --list >list.txt 2>warn.txt
[ "$(cat list.txt)" = "F:1 A:1 file bg.bmp
F:2 A:1 file bg.bmp
F:1 A:2 file actor.tga
F:2 A:3 file still.ppm" ] || fail "list: $(cat list.txt)"
grep -q "Source cells" warn.txt || fail "the skipped Source line is not reported"
"$cli" generate s.tml --sheet --list --json | grep -q '^{"column": 2, "frame": 1, "kind": "file", "value": "actor.tga"}$' ||
  fail "json list"

mkdir out
"$cli" generate s.tml --sheet --out out/f.bmp
[ "$(identify-im6.q16 -format '%wx%h' out/f0001.bmp)" = 64x48 ] || fail "ImageMagick does not read frame 1"
cmp -s out/f0001.bmp out/f0002.bmp && fail "the actor is not merged over frame 1"

# Perform: refused without --replace; the PPM has no writer (103, exit 1).
cp bg.bmp bg.orig
cp still.ppm still.orig
if "$cli" apply --sheet s.tml --perform --op Flip --columns 1 2>err.txt; then fail "changed without --replace"; fi
cmp -s bg.bmp bg.orig || fail "a refused Perform wrote"
"$cli" apply --sheet s.tml --perform --op Flip --columns 1 --replace >done.txt
[ "$(cat done.txt)" = "wrote bg.bmp" ] || fail "bg.bmp is named twice but written once: $(cat done.txt)"
cmp -s bg.bmp bg.orig && fail "Perform changed nothing"
if "$cli" apply --sheet s.tml --perform --op Flip --columns 3 --replace 2>err.txt; then fail "the PPM was taken"; fi
cmp -s still.ppm still.orig || fail "the PPM was written"
rc=0
"$cli" apply --sheet s.tml --perform --preview --op Flip 2>/dev/null || rc=$?
[ $rc -eq 2 ] || fail "--perform with --preview is bad usage, not $rc"
echo ok

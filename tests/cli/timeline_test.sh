#!/bin/sh
# pixqv-cli timeline and the area files of mask, end to end: a hand-written
# TimeLine saved again byte for byte, what a level does at a frame, checks
# that fail on broken files, and area files drawn as the same areas drawn
# from the command line.
set -eu
cli=$1
src=$2
dir=$3
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
fail() { echo "$1"; exit 1; }

"$cli" timeline "$src/tests/anim/data/every_kind.tml" --write every_kind.tml >list.txt
cmp every_kind.tml "$src/tests/anim/data/every_kind.tml" || fail "resaved file differs"
grep -q '^  L1 F4 source  record   file clips/run.avi  video yes  start 10  increment 2$' list.txt || fail "no video cell"
grep -q '^    points 1:100 24:-50$' list.txt || fail "no trend points"

cat >small.tml <<'TML'
TIMELINE - small.tml
Frames:5
SRC L:1 F:1 V:1 S:10 I:3 "my clip.flc"
SRC L:1 F:2 =
SRC L:1 F:3 ==
OP L:1 F:1 "Contrast"
- Var:"Amount",0
OP L:1 F:2 =
OP L:1 F:3 =
OP L:1 F:4 ==
OP L:1 F:5 "Contrast"
- Var:"Amount",100
AREA L:2 F:1
- Mode:Freehand
- Image:24,16
- Point:0,1,1,0
- Point:1,10,1,255
- Point:2,5,9,255
AREA L:2 F:2 ==
AREA L:2 F:3
- Mode:Ellipse
- Image:24,16
- Center:12,8
- Pos:2,2,22,14
Trend Var:"Transparency: Level" Splined:0 Level:1 1,0 5,200
TML
"$cli" timeline small.tml --at 2 >at.txt
grep -q '^  L1 source  file my clip.flc  videoFrame 13$' at.txt || { cat at.txt; fail "no video frame"; }
grep -q '^  L1 op  operation Contrast  values Amount=25$' at.txt || { cat at.txt; fail "no interpolated op"; }
grep -q '^  L2 area  mode tween  from Freehand  to Ellipse  level 50  fade 0  grow 100$' at.txt || { cat at.txt; fail "no tween"; }
"$cli" timeline small.tml --at 3 --json | grep -q '"op": {"operation": "Contrast", "values": {"Amount": 50}}' || fail "json --at"
"$cli" timeline small.tml --at 6 2>/dev/null && fail "frame 6 of 5 must fail"

"$cli" timeline small.tml --check || fail "a good file checks"
printf 'TIMELINE\nFrames:3\nOP L:1 F:1 "Nowhere"\n' >unknown.tml
"$cli" timeline unknown.tml --check 2>warn.txt || fail "warnings alone do not fail"
grep -q '^warning: unknown operation "Nowhere"' warn.txt || fail "no warning"
"$cli" timeline unknown.tml --check --strict 2>/dev/null && fail "--strict fails on warnings"
printf 'TIMELIME\nFrames:3\n' >broken.tml
"$cli" timeline broken.tml --check 2>err.txt && fail "a broken file must fail"
grep -q 'Incorrect file type' err.txt || fail "no message"
: >empty.tml
"$cli" timeline empty.tml --check 2>/dev/null && fail "an empty file must fail"
set +e
"$cli" timeline 2>/dev/null; [ $? -eq 2 ] || fail "usage exits 2"
"$cli" timeline small.tml --strict 2>/dev/null; [ $? -eq 2 ] || fail "--strict alone is usage"
set -e

# Area files: the loaded area is the area drawn, refitted to a larger image.
cat >box.asf <<'ASF'
AREASELECT Pixanta:Q/v File

TranLevel:  255
TranEdge:     0
TranGrow:   100

Mode: RECT
Size:   20   15
Pos:   10    7
Rad:    4    3
ASF
"$cli" mask 20x15 a.pgm --area file:box.asf
"$cli" mask 20x15 b.pgm --area rect:6,4,14,10
cmp a.pgm b.pgm || fail "area file differs from the drawn rectangle"
"$cli" mask 40x30 a2.pgm --area file:box.asf
"$cli" mask 40x30 b2.pgm --area rect:12,8,28,20
cmp a2.pgm b2.pgm || fail "area file not refitted"
"$cli" mask 40x30 a3.pgm --area file:box.asf --level 100
"$cli" mask 40x30 b3.pgm --area rect:12,8,28,20 --level 100
cmp a3.pgm b3.pgm || fail "--level over an area file"

# Saved and loaded again; an I-shape is its triangle.
"$cli" mask 40x30 --area polygon:3,3,35,5,20,27 --save-area poly.asf --save-ishape poly.ish
"$cli" mask 40x30 c.pgm --area polygon:3,3,35,5,20,27
"$cli" mask 40x30 d.pgm --area file:poly.asf
cmp c.pgm d.pgm || fail "saved area differs"
"$cli" mask 40x30 e.pgm --area ishape:2,2,30,20
"$cli" mask 40x30 f.pgm --area polygon:16,2,2,20,30,20
cmp e.pgm f.pgm || fail "I-shape is not the triangle"
"$cli" mask 40x30 g.pgm --area ishape:2,2,30,20,poly.ish
head -c 20 g.pgm | grep -q 'P5' || fail "no shape mask"
"$cli" mask 40x30 --area rect:1,1,5,5 --save-ishape x.ish 2>/dev/null && fail "a box has no outline to keep"
"$cli" mask 40x30 h.pgm --area file:missing.asf 2>err.txt && fail "a missing area file must fail"
grep -q 'Could not open the requested file' err.txt || fail "no message for a missing file"
set +e
"$cli" mask 40x30 --area rect:1,1,5,5 2>/dev/null; [ $? -eq 2 ] || fail "no output is usage"
set -e
echo "timeline ok"

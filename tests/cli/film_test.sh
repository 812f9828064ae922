#!/bin/sh
# pixqv-cli film, info and convert --frame on film strip files, checked by
# peers that know nothing of the program: netpbm cuts the planes out of the
# file (rawtopgm -headerskip, rgb3toppm) and ImageMagick reads them as
# plane-interlaced RGB; both are compared with pictures netpbm builds itself.
set -eu
cli=$1
dir=$2
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
fail() { echo "$1"; exit 1; }
expect_exit() {  # code, then the command
  want=$1
  shift
  set +e
  "$@" >/dev/null 2>err.txt
  got=$?
  set -e
  [ "$got" = "$want" ] || fail "exit $got, not $want: $* ($(cat err.txt))"
}

ppmmake rgb:ff/00/00 40 20 >wide.ppm
ppmmake rgb:00/80/ff 20 40 >tall.ppm
"$cli" film strip.flm wide.ppm tall.ppm --size 8x6 --background 1,2,3
[ "$(wc -c <strip.flm)" = $((16 + 2 * 3 * 8 * 6)) ] || fail "wrong file size"

"$cli" info strip.flm >info.txt
grep -q 'format: *FiLM' info.txt || fail "not read as a film"
grep -q 'size: *8 x 6' info.txt || fail "wrong frame size"
grep -q 'frames: *2' info.txt || fail "wrong frame count"

# What each frame must be: the wide picture 8 x 4 one row down, the tall one
# 3 x 6 two columns in, on the background.
ppmmake rgb:01/02/03 8 6 >back.ppm
ppmmake rgb:ff/00/00 8 4 >w84.ppm
pnmpaste w84.ppm 0 1 back.ppm >expect1.ppm
ppmmake rgb:00/80/ff 3 6 >t36.ppm
pnmpaste t36.ppm 2 0 back.ppm >expect2.ppm

# netpbm: frame 2's planes start at 16 + 144.
plane=48
for i in 0 1 2; do
  rawtopgm -headerskip $((16 + 144 + i * plane)) 8 6 strip.flm >p$i.pgm 2>/dev/null
done
rgb3toppm p0.pgm p1.pgm p2.pgm >peer2.ppm
cmp -s peer2.ppm expect2.ppm || fail "netpbm's frame 2 differs"

# ImageMagick: frame 1 as plane-interlaced RGB.
tail -c +17 strip.flm | head -c 144 >f1.rgb
convert-im6.q16 -size 8x6 -depth 8 -interlace plane rgb:f1.rgb ppm:magick1.ppm
cmp -s magick1.ppm expect1.ppm || fail "ImageMagick's frame 1 differs"

# The program's own frame reader gives the same pictures.
"$cli" convert strip.flm own2.bmp --frame 2
bmptoppm own2.bmp >own2.ppm 2>/dev/null
cmp -s own2.ppm expect2.ppm || fail "convert --frame 2 differs"
"$cli" convert strip.flm own1.bmp
bmptoppm own1.bmp >own1.ppm 2>/dev/null
cmp -s own1.ppm expect1.ppm || fail "convert's first frame differs"

# A film built by a peer: ImageMagick writes the planes, printf the header.
pnmcat -lr expect1.ppm expect2.ppm >pair.ppm
convert-im6.q16 pair.ppm -depth 8 -interlace plane rgb:pair.rgb
{ printf 'ZFLM\020\000\000\000\006\000\000\000\001\000\000\000'; cat pair.rgb; } >peer.flm
"$cli" convert peer.flm peer.bmp --frame 1
bmptoppm peer.bmp >peer.ppm 2>/dev/null
cmp -s peer.ppm pair.ppm || fail "a peer's film does not read back"

# Usage, failures and their exit codes.
expect_exit 0 "$cli" film --help
expect_exit 2 "$cli" film one.flm wide.ppm
grep -q 'Number of frames must be more than one' err.txt || fail "one image not refused with the message"
expect_exit 2 "$cli" film out.flm wide.ppm tall.ppm --size 2048x8
expect_exit 2 "$cli" film out.flm wide.ppm tall.ppm --background 1,2
expect_exit 1 "$cli" film out.flm wide.ppm missing.ppm
[ ! -e out.flm ] || fail "a failed film left a file"
expect_exit 1 "$cli" convert strip.flm x.bmp --frame 3
grep -q 'frame 3 asked of 2' err.txt || fail "frame past the end not explained"
head -c 100 strip.flm >cut.flm
expect_exit 1 "$cli" info cut.flm
grep -q 'truncated' err.txt || fail "cut film not reported"
printf 'ZFLM\001\004\000\000\001\000\000\000\001\000\000\000' >wide.flm
expect_exit 1 "$cli" info wide.flm
grep -q 'damaged' err.txt || fail "film over 1024 wide not refused as damaged"
echo ok

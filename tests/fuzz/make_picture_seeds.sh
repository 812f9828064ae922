#!/usr/bin/env bash
# Regenerates the seeds of the IFF, PPM, SGI, RAW, I-RAW and TRIM fuzzers:
# small files from netpbm and ImageMagick, the program's own IFF and TRIM
# files (pixqv-cli, built in build/), and a few made by hand.
# Usage: tests/fuzz/make_picture_seeds.sh [path to pixqv-cli]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=$(cd "$here/../.." && pwd)/build/src/cli/pixqv-cli
cli=${1:-$cli}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
for d in iff ppm sgi raw iraw trim; do mkdir -p "$here/seeds/$d"; done

convert -size 7x5 gradient:red-blue -swirl 60 -depth 8 src.ppm
pnmquant 4 src.ppm > q4.ppm 2>/dev/null
ppmtoilbm -24force src.ppm > p24.iff
ppmtoilbm -24force -nocompress src.ppm > p24raw.iff
ppmtoilbm q4.ppm > pal.iff
ppmtoilbm -hamforce src.ppm > ham6.iff
ppmtoilbm -ham8 src.ppm > ham8.iff
ppmtoilbm -dcforce -dcbits 4 4 4 src.ppm > deep12.iff
"$cli" convert src.ppm ours.iff
"$cli" convert src.ppm ours.trm
convert src.ppm -colorspace gray gray.ppm
"$cli" convert gray.ppm mono.trm
# A framestore of 8 x 1 pixels (PLTP, 16 planes, no packing), a chunky PBM
# with half brite, and a CAT holding an ILBM.
{ printf 'FORM\0\0\0\x70ILBMBMHD\0\0\0\x14\0\x08\0\x01\0\0\0\0\x10\0\0\0\0\0\x0a\x0b\0\x08\0\x01'
  printf 'PLTP\0\0\0\x20\6\7\6\6\6\5\6\4\6\3\6\2\6\1\6\0\7\7\7\6\7\5\7\4\7\3\7\2\7\1\7\0'
  printf 'BODY\0\0\0\x20'; for i in $(seq 16); do printf '\x96\0'; done; } > fs.iff
{ printf 'FORM\0\0\0\x4aPBM BMHD\0\0\0\x14\0\x03\0\x02\0\0\0\0\x08\0\0\0\0\0\x01\x01\0\x03\0\x02'
  printf 'CMAP\0\0\0\x06\xff\x80\x40\x10\x20\x30CAMG\0\0\0\x04\0\0\0\x80BODY\0\0\0\x08\0\1\0\0\1\0\x21\0'; } > pbm.iff
{ printf 'CAT \0\0\0\x70ILBMFORM\0\0\0\x64ILBMBMHD\0\0\0\x14\0\x04\0\x02\0\0\0\0\x01\x01\x01\0\0\0\x0a\x0b\0\x04\0\x02'
  printf 'CMAP\0\0\0\x06\0\0\0\xff\xff\xffANNO\0\0\0\x05note\0\0AUTH\0\0\0\x02me'
  printf 'DPI \0\0\0\x04\0\x48\0\x48BODY\0\0\0\x0a\x01\xa0\0\xff\xf0\x01\x50\0\xff\xf0'; } > cat.iff
cp p24.iff p24raw.iff pal.iff ham6.iff ham8.iff deep12.iff ours.iff ours.trm mono.trm fs.iff pbm.iff cat.iff "$here/seeds/iff/"

cp src.ppm "$here/seeds/ppm/"
convert src.ppm -depth 16 ppm:- > "$here/seeds/ppm/16bit.ppm"
pamdepth 15 src.ppm > "$here/seeds/ppm/max15.ppm"
{ printf 'P6\n# comment\n2  1\r\n#\n255\n'; printf '\1\2\3\4\5\6'; } > "$here/seeds/ppm/comments.ppm"

pnmtosgi -rle src.ppm > "$here/seeds/sgi/rle.sgi"
pnmtosgi -verbatim src.ppm > "$here/seeds/sgi/verbatim.sgi"
convert src.ppm -depth 16 sgi:- > "$here/seeds/sgi/rle16.sgi"
convert src.ppm -colorspace gray sgi:- > "$here/seeds/sgi/gray.sgi"
convert src.ppm -alpha set sgi:- > "$here/seeds/sgi/rgba.sgi"

# RAW: layout, width and height less 1, then the bytes.
for l in 0 1 2 3; do { printf "\\$(printf %o $l)\\6\\4"; head -c 96 src.ppm | tail -c 72; } > "$here/seeds/raw/layout$l"; done
{ printf 'I24\0\2\0\0\0\2\0\0\0'; printf '\1\2\3\4\5\6\7\10\11\12\13\14'; } > "$here/seeds/iraw/two.i24"
printf 'I24\0\xff\xff\xff\xff\xff\xff\xff\xff\1\2\3' > "$here/seeds/iraw/huge.i24"

# TRIM: picture size less 1, channel flag, then the RGBT or MONO chunk's bytes.
chunk() { local size; size=$(od -An -tu1 -j44 -N4 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4}'); tail -c +49 "$1" | head -c "$size"; }
{ printf '\6\4\0'; chunk ours.trm; } > "$here/seeds/trim/rgbt"
{ printf '\6\4\1'; chunk mono.trm; } > "$here/seeds/trim/mono"

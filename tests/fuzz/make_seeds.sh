#!/usr/bin/env bash
# Regenerates the fuzzers' seed files: small bitmaps of every depth and
# packing from ImageMagick and netpbm, and the start of one file of each
# type the recognition knows. Usage: tests/fuzz/make_seeds.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
mkdir -p "$here/seeds/bmp" "$here/seeds/recognize"
convert -size 7x5 gradient:red-blue src.ppm
convert src.ppm -monochrome BMP3:b1.bmp
convert src.ppm -colors 16 BMP3:b4.bmp
convert src.ppm -colors 200 -type palette BMP3:b8.bmp
convert src.ppm -colors 200 -type palette -compress RLE BMP3:rle8.bmp
convert src.ppm -define bmp:subtype=RGB565 BMP:b565.bmp
convert src.ppm -define bmp:subtype=RGB555 BMP:b555.bmp
convert src.ppm BMP3:b24.bmp
convert src.ppm -alpha set BMP:b32.bmp
ppmtobmp -os2 src.ppm > os2.bmp 2>/dev/null
# RLE4 and a top-down file are made by hand: no peer writes them.
printf 'BM\x4a\0\0\0\0\0\0\0\x42\0\0\0\x28\0\0\0\x04\0\0\0\x02\0\0\0\x01\0\x04\0\x02\0\0\0\x08\0\0\0\0\0\0\0\0\0\0\0\x03\0\0\0\0\0\0\0\xff\xff\xff\0\x80\x80\x80\0\x40\x40\x40\0\x06\x12\x02\x33\0\0\0\x01' > rle4.bmp
printf 'BM\x46\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x01\0\0\0\xfe\xff\xff\xff\x01\0\x18\0\0\0\0\0\x08\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x01\x02\x03\0\x04\x05\x06\0' > topdown.bmp
cp ./*.bmp "$here/seeds/bmp/"
convert src.ppm tiff:t.tif; convert src.ppm jpg:j.jpg; convert src.ppm gif:g.gif; convert src.ppm tga:t.tga
convert src.ppm pcx:p.pcx; convert src.ppm sgi:s.rgb
for f in t.tif j.jpg g.gif t.tga p.pcx s.rgb src.ppm b8.bmp; do head -c 256 "$f" > "$here/seeds/recognize/$f"; done
printf '\0\0\x01\xba\x44\0\0\0\0\0\0\0' > "$here/seeds/recognize/mpeg"
printf 'RIFF\0\0\0\0AVI LIST' > "$here/seeds/recognize/avi"
printf 'ZFLM\0\0\0\0' > "$here/seeds/recognize/flm"
printf 'BM' > "$here/seeds/recognize/short"

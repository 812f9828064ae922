#!/usr/bin/env bash
# Regenerates the fuzzers' seed files: small bitmaps of every depth and
# packing from ImageMagick and netpbm, and the start of one file of each
# type the recognition knows. Usage: tests/fuzz/make_seeds.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
mkdir -p "$here/seeds/bmp" "$here/seeds/recognize" "$here/seeds/targa" "$here/seeds/gif" "$here/seeds/pcx" \
  "$here/seeds/png"
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
# Targa: plain, runs, alpha, colour-mapped, 16 bits, a top-down run across
# rows, and a 1 x 1 version 2 file made by hand: pixel, 4 x 4 stamp,
# extension area (author, stamp at 21), footer (extension at 71).
convert src.ppm -compress none tga:"$here/seeds/targa/t24.tga"
convert src.ppm -compress RLE tga:"$here/seeds/targa/rle24.tga"
convert src.ppm -alpha set -channel A -fx 'i/w' tga:"$here/seeds/targa/t32.tga"
convert src.ppm -colors 6 -type palette tga:"$here/seeds/targa/map.tga"
ffmpeg -v error -f lavfi -i testsrc=size=7x5 -frames:v 1 -pix_fmt rgb555le -y "$here/seeds/targa/t16.tga"
printf '\0\0\n\0\0\0\0\0\0\0\0\0\002\0\002\0\030\040\0\012\024\036\202\001\002\003' > "$here/seeds/targa/cross.tga"
{ printf '\0\0\002\073\0\0\0\0\0\0\0\0\001\0\001\0\030\0\001\002\003\004\004'
  head -c 48 /dev/zero | tr '\0' '\7'; printf '\357\001Ada'; head -c 481 /dev/zero
  printf '\025\0\0\0\0\0\0\0\0\107\0\0\0\0\0\0\0TRUEVISION-XFILE.\0'; } > "$here/seeds/targa/v2.tga"
# GIF: 87a and 89a, interlaced, two images, netpbm's writer.
convert src.ppm -colors 20 gif:"$here/seeds/gif/g20.gif"
convert src.ppm -colors 4 -interlace GIF gif:"$here/seeds/gif/interlaced.gif"
convert -delay 10 src.ppm \( src.ppm -flip \) -colors 8 gif:"$here/seeds/gif/anim.gif"
ppmquant 2 src.ppm 2>/dev/null | ppmtogif > "$here/seeds/gif/pbm2.gif" 2>/dev/null
# PCX: 24 and 8 bits, four planes, one bit.
convert src.ppm pcx:"$here/seeds/pcx/p24.pcx"
convert src.ppm -colors 30 -type palette pcx:"$here/seeds/pcx/p8.pcx"
pnmquant 16 src.ppm 2>/dev/null | ppmtopcx -planes 4 > "$here/seeds/pcx/p4.pcx" 2>/dev/null
convert src.ppm -monochrome pcx:"$here/seeds/pcx/p1.pcx"
# PNG: gray of 1 and 16 bits, a palette with transparency, RGBA, Adam7.
convert src.ppm -colorspace gray -depth 1 -define png:bit-depth=1 png:"$here/seeds/png/g1.png"
convert src.ppm -colorspace gray -depth 16 png:"$here/seeds/png/g16.png"
convert src.ppm -alpha set -channel A -fx 'i/w' -colors 5 png8:"$here/seeds/png/pal.png"
convert src.ppm -alpha set -channel A -fx 'j/h' png32:"$here/seeds/png/rgba.png"
convert src.ppm -interlace PNG png24:"$here/seeds/png/adam7.png"

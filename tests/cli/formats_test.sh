#!/bin/sh
# pixqv-cli convert and info on the still formats: GIF and LZW TIFF without
# --chopmem, the exit codes (2 bad usage, 1 unreadable or unwritable with the
# program's reason), and the author line.
set -u
cli=$1
dir=$2
export QV_PLUGIN_DIR=$3
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
fail() { echo "$*"; cat err.txt 2>/dev/null; exit 1; }
# expect CODE TEXT-ON-STDERR ARGS...
expect() {
  code=$1 text=$2
  shift 2
  "$cli" "$@" 2>err.txt >out.txt
  got=$?
  [ "$got" -eq "$code" ] || fail "pixqv-cli $*: exit $got, wanted $code"
  [ -z "$text" ] || grep -qF -- "$text" err.txt || fail "pixqv-cli $*: no '$text' on stderr"
}

convert -size 30x20 gradient:red-blue -type truecolor BMP3:in.bmp
expect 0 "" convert in.bmp out.gif
expect 0 "" convert out.gif back.bmp
expect 0 "" convert in.bmp lzw.tif --compress 1
[ "$(identify -format %C lzw.tif)" = LZW ] || fail "TIFF not LZW-compressed without --chopmem"
expect 0 "" convert lzw.tif fromlzw.tga
expect 0 "" convert in.bmp old.gif --chopmem

expect 2 "wants an input and an output" convert in.bmp a.bmp b.bmp
expect 2 "--colours wants 2 to 256" convert in.bmp a.gif --colours 1
expect 2 "--dither wants diffusion or ordered" convert in.bmp a.gif --dither wobbly
expect 2 "--reduce wants" convert in.bmp a.gif --reduce some
expect 2 "unknown option '--frobnicate'" convert in.bmp a.bmp --frobnicate
expect 2 "8-bit is not offered for Targa" convert in.bmp a.tga --depth 8
expect 2 "cannot tell the output type" convert in.bmp a.xyz
expect 2 "--reduce wants" apply in.bmp a.bmp --op Contrast --reduce nope
[ ! -e a.bmp ] && [ ! -e a.gif ] || fail "bad usage wrote a file"

expect 1 "Could not open the image file." convert missing.bmp a.bmp
printf 'hello, world\n' > text.dat
expect 1 "Image file type is not recognized." convert text.dat a.bmp
"$cli" convert in.bmp whole.tga --compress 0 2>/dev/null || fail "no Targa written"
head -c 100 whole.tga > cut.tga
expect 1 "TGA file image data truncated." convert cut.tga a.bmp
expect 1 "TGA file image data truncated." info cut.tga
expect 1 "Could not create the new image file." convert in.bmp no/such/folder/a.tga
expect 1 "Unable to open output file." convert in.bmp no/such/folder/a.gif

convert -size 4x4 xc:red -set Author Ada -set comment 'a note' au.png
expect 0 "" info au.png
grep -q '^  author:     Ada$' out.txt || fail "no author line: $(cat out.txt)"
grep -q '^  annotation: a note$' out.txt || fail "no annotation line: $(cat out.txt)"
# PNG: --depth 24 drops the alpha, 32 (the default) keeps it.
convert -size 4x4 gradient:red-blue -alpha set -channel A -fx 'i/w' PNG32:alpha.png
expect 0 "" convert alpha.png flat.png --depth 24
expect 0 "" convert alpha.png kept.png
expect 0 "" info flat.png kept.png
[ "$(grep -c '^  alpha:      yes' out.txt)" = 1 ] || fail "--depth 24 and 32 for PNG: $(cat out.txt)"
expect 0 "" info in.bmp
grep -q '^  author:     (none)$' out.txt || fail "no empty author line"
exit 0

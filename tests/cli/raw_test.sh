#!/bin/sh
# pixqv-cli convert on headerless RAW input: the --raw-* options, the
# proposal taken (and said) without them, and their bad usage; and the IFF
# writers from the command line, read back by netpbm.
set -eu
cli=$1
dir=$2
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
fail() { echo "FAIL: $*"; exit 1; }

# 2 x 2 interleaved RGB after a 4-byte header.
printf '\007\007\007\007\001\002\003\004\005\006\007\010\011\012\013\014' > pic.raw
"$cli" convert pic.raw out.bmp --raw-size 2x2 --raw-start 4 --raw-layout rgb 2>err.txt
[ ! -s err.txt ] || fail "options given, yet: $(cat err.txt)"
bmptopnm out.bmp 2>/dev/null | pnmnoraw | tr -s ' \n' ' ' | grep -q '1 2 3 4 5 6 7 8 9 10 11 12' ||
  fail "the RAW pixels were not read as told"

# Without options the proposal is taken and said: 16 gray bytes, 4 x 4.
"$cli" convert pic.raw gray.bmp 2>err.txt
grep -q 'Raw Image Load: pic.raw taken as 4 x 4, gray, from byte 0' err.txt || fail "proposal not said: $(cat err.txt)"
[ "$("$cli" info gray.bmp 2>/dev/null | sed -n 's/ *size: *//p')" = "4 x 4" ] || fail "proposal not taken"

# Bad usage exits 2 with the reason; a start past the end is refused (1).
for bad in "--raw-size 0x3" "--raw-size 3" "--raw-layout cmyk" "--raw-start -1" "--raw-start"; do
  set +e
  "$cli" convert pic.raw x.bmp $bad 2>err.txt
  code=$?
  set -e
  [ $code = 2 ] || fail "'$bad' exited $code"
  grep -q 'pixqv-cli convert: --raw' err.txt || fail "'$bad' gave no reason"
done
set +e
"$cli" convert pic.raw x.bmp --raw-start 16 2>err.txt
code=$?
set -e
[ $code = 1 ] || fail "start at the end exited $code"
grep -q 'starting byte is at or past the end' err.txt || fail "start at the end: $(cat err.txt)"

# ILBM and TRIM from the command line; netpbm reads the ILBM.
convert -size 9x7 gradient:red-blue -depth 8 src.ppm
"$cli" convert src.ppm out.iff
ilbmtoppm out.iff 2>/dev/null | cmp -s - src.ppm || fail "ilbmtoppm does not read back the picture"
"$cli" convert src.ppm out.trm
"$cli" info out.trm | grep -q 'format: *TRiM' || fail "TRIM file not read back as TRIM"
echo ok

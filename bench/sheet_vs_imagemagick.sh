#!/bin/sh
# A ten-frame exposure sheet run at 4 megapixels (background plus a merged
# actor, each frame written as a bitmap) beside ImageMagick's -composite of
# the same two pictures run once per frame, both on one thread.
# Run by hand from the project root after a Release build:
#   bench/sheet_vs_imagemagick.sh [build]
# Prints both times and their ratio (ImageMagick / ours); nothing is asserted.
set -eu
build=${1:-build}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ours=$("$build/bench/sheet_bench" --benchmark_filter=BM_SheetRun --benchmark_format=csv 2>/dev/null |
  awk -F, '/BM_SheetRun/ { print $4 }')
convert-im6.q16 -size 2309x1732 plasma:fractal -depth 8 -type TrueColor "$tmp/bg.bmp"
convert-im6.q16 -size 2309x1732 xc:none -fill '#FAC814' -draw 'circle 1154,866 1154,289' "$tmp/actor.tga"
start=$(date +%s%N)
for f in 1 2 3 4 5 6 7 8 9 10; do
  MAGICK_THREAD_LIMIT=1 convert-im6.q16 "$tmp/bg.bmp" "$tmp/actor.tga" -composite -type TrueColor "$tmp/f$f.bmp"
done
theirs=$(( ($(date +%s%N) - start) / 1000000 ))
printf '10-frame sheet run, 4 MP (ours):       %10.1f ms\n' "$ours"
printf '10 x convert -composite (IM, 1 thread): %10.1f ms\n' "$theirs"
printf 'ratio ImageMagick / ours:               %10.2f\n' "$(echo "$theirs / $ours" | bc -l)"

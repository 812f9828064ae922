#!/bin/sh
# The area tween of two 4-megapixel masks beside ImageMagick's morph of the
# same two masks (one in-between frame). Run by hand from the project root
# after a Release build:  bench/tween_vs_imagemagick.sh [build]
# Prints both times and their ratio (ImageMagick / ours); nothing is asserted.
set -eu
build=${1:-build}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cli=$build/src/cli/pixqv-cli
"$cli" mask 2048x2048 "$tmp/a.pgm" --area ellipse:700,1000,600,900
"$cli" mask 2048x2048 "$tmp/b.pgm" --area rect:1200,300,1900,1700 --level 200
# Wall-clock time on both sides (the CSV's real_time), so that a loaded
# machine slows both alike.
ours=$("$build/bench/timeline_bench" --benchmark_filter=BM_MaskTween4MP --benchmark_format=csv 2>/dev/null |
  awk -F, '/BM_MaskTween4MP/ { print $3 }')
start=$(date +%s.%N)
runs=5
i=0
while [ $i -lt $runs ]; do
  convert-im6.q16 "$tmp/a.pgm" "$tmp/b.pgm" -morph 1 "$tmp/morph.pgm"
  i=$((i + 1))
done
end=$(date +%s.%N)
theirs=$(echo "($end - $start) * 1000 / $runs" | bc -l)
printf 'area tween (ours):          %10.2f ms\n' "$ours"
printf 'convert -morph 1 (ImageMagick): %10.2f ms (with file reading and writing)\n' "$theirs"
printf 'ratio ImageMagick / ours:   %10.1f\n' "$(echo "$theirs / $ours" | bc -l)"

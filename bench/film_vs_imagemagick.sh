#!/bin/sh
# Place image of a 4-megapixel picture into a 640 x 480 film frame beside
# ImageMagick's nearest-pixel -sample to the same size, both on one thread.
# Run by hand from the project root after a Release build:
#   bench/film_vs_imagemagick.sh [build]
# Prints both times and their ratio (ImageMagick / ours); nothing is asserted.
set -eu
build=${1:-build}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ours=$("$build/bench/film_bench" --benchmark_filter=BM_PlaceImage --benchmark_format=csv 2>/dev/null |
  awk -F, '/BM_PlaceImage/ { print $4 }')
convert-im6.q16 -size 2309x1732 plasma:fractal -depth 8 "$tmp/in.ppm"
theirs=$(MAGICK_THREAD_LIMIT=1 convert-im6.q16 "$tmp/in.ppm" -bench 5 -sample 640x480 null: 2>&1 |
  awk '/Performance/ { for (i = 1; i <= NF; ++i) if ($i ~ /ips$/) { v = $i; sub(/ips$/, "", v); if (v > best) best = v } }
       END { print 1000 / best }')
printf 'Place image 4 MP -> 640x480 (ours):   %10.2f ms\n' "$ours"
printf 'convert -sample 640x480 (IM, 1):      %10.2f ms\n' "$theirs"
printf 'ratio ImageMagick / ours:             %10.1f\n' "$(echo "$theirs / $ours" | bc -l)"

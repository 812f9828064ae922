#!/bin/sh
# Pixelize of a 4-megapixel picture beside ImageMagick's pixelize by
# scaling down and up again (-scale 5% -scale 2000%, cells of 20), both on
# one thread. Run by hand from the project root after a Release build:
#   bench/pixelize_vs_imagemagick.sh [build]
# Prints both times and their ratio (ImageMagick / ours); nothing is asserted.
set -eu
build=${1:-build}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ours=$("$build/bench/pattern_bench" --benchmark_filter=BM_Pixelize --benchmark_format=csv 2>/dev/null |
  awk -F, '/BM_Pixelize/ { print $4 }')
convert-im6.q16 -size 2048x2048 plasma:fractal -depth 8 "$tmp/in.ppm"
# ImageMagick's own timing (-bench: iterations per second, the best run).
theirs=$(MAGICK_THREAD_LIMIT=1 convert-im6.q16 "$tmp/in.ppm" -bench 5 -scale 5% -scale 2000% null: 2>&1 |
  awk '/Performance/ { for (i = 1; i <= NF; ++i) if ($i ~ /ips$/) { v = $i; sub(/ips$/, "", v); if (v > best) best = v } }
       END { print 1000 / best }')
printf 'Pixelize (ours, one thread):        %10.2f ms\n' "$ours"
printf 'convert -scale down and up (IM, 1): %10.2f ms\n' "$theirs"
printf 'ratio ImageMagick / ours:           %10.1f\n' "$(echo "$theirs / $ours" | bc -l)"

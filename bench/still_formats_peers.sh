#!/usr/bin/env bash
# Still formats against the peers, in one run on one machine: our whole
# reads and writes of the 4-megapixel picture (still_formats_bench) beside
# the peers' commands on the same files, one thread each. Both sides are CPU
# time (user + system), so that a busy machine does not tilt the ratio: ours
# the median of three, the peers' the best of five runs, their start-up
# included (the start-up of each peer alone is shown too).
# Usage: bench/still_formats_peers.sh [build]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1

QV_BENCH_KEEP=1 "$build/bench/still_formats_bench" --benchmark_format=csv --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true 2>/dev/null > ours.csv
# name -> milliseconds of CPU per call (the median of three)
ours() { awk -F, -v n="\"BM_$1_median\"" '$1 == n { print $4 }' ours.csv; }

best() {  # least CPU time in ms of five runs of a shell command
  local best=999999 ms
  for _ in 1 2 3 4 5; do
    { TIMEFORMAT='%3U %3S'; time sh -c "$1" >/dev/null 2>&1; } 2> cpu.txt
    ms=$(awk '{ printf "%d", ($1 + $2) * 1000 }' cpu.txt)
    [ "$ms" -lt "$best" ] && best=$ms
  done
  echo "$best"
}

# Start-up alone: a one-pixel picture through the same tool.
convert -size 1x1 xc:red tiny.ppm
start_magick=$(best "convert tiny.ppm ppm:-")
start_ffmpeg=$(best "ffmpeg -v error -threads 1 -i tiny.ppm -f null -")
start_netpbm=$(best "pnmtopnm tiny.ppm")

row() {  # label, our benchmark, peer name, peer command, target ms
  local us peer
  us=$(ours "$2")
  peer=$(best "$4")
  awk -v l="$1" -v u="$us" -v p="$peer" -v n="$3" -v t="$5" \
    'BEGIN { printf "%-26s ours %7.1f ms (target %3s)   %-12s %6d ms   ratio %.2f\n", l, u, t, n, p, u / p }'
}

echo "4-megapixel picture, one thread; peers' start-up: ImageMagick ${start_magick} ms, ffmpeg ${start_ffmpeg} ms, netpbm ${start_netpbm} ms"
row "GIF write (with reduction)" GifWrite netpbm "ppmtogif still_bench.ppm > o.gif" 50
row "GIF write (with reduction)" GifWrite ImageMagick "convert still_bench.ppm o.gif" 50
row "GIF read" GifRead netpbm "giftopnm still_bench.gif" 30
row "GIF read" GifRead ImageMagick "convert still_bench.gif ppm:-" 30
row "Targa RLE 24-bit write" TargaRleWrite24 ffmpeg "ffmpeg -v error -threads 1 -i still_bench.ppm -c:v targa -y o.tga" 30
row "Targa RLE 24-bit read" TargaRleRead24 ffmpeg "ffmpeg -v error -threads 1 -i still_bench.tga -f null -" 25
row "PCX 24-bit write" PcxWrite24 ffmpeg "ffmpeg -v error -threads 1 -i still_bench.ppm -c:v pcx -y o.pcx" 30
row "PCX 24-bit write" PcxWrite24 netpbm "ppmtopcx -24bit still_bench.ppm > o.pcx" 30
row "PCX 24-bit read" PcxRead24 ffmpeg "ffmpeg -v error -threads 1 -i still_bench.pcx -f null -" 30
row "PCX 24-bit read" PcxRead24 netpbm "pcxtoppm still_bench.pcx" 30
row "PNG write (zlib 6)" PngWrite ImageMagick "convert still_bench.ppm -quality 65 o.png" -
row "PNG read" PngRead ImageMagick "convert still_bench.png ppm:-" -

#!/usr/bin/env bash
# A look at the desktop program without a display: pixqv under Xvfb with a
# sample picture open and an ellipse drawn on it and colorized, written to a
# PNG.
# Usage: scripts/screenshot.sh [OUT.png] [PICTURE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/out/screenshot.png}
picture=${2:-}
build=${BUILD_DIR:-$root/build}

[ -x "$build/tests/pixqv_shot" ] || { "$root/scripts/setup.sh" "$build" >/dev/null; }
mkdir -p "$(dirname "$out")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -z "$picture" ]; then
  # A sample picture of our own: a colour sweep with a few shapes on it.
  picture=$work/sample.bmp
  convert -size 400x300 gradient:'#1d5fa8'-'#f4c430' \
    -fill '#c0392b' -draw 'circle 120,150 120,90' \
    -fill '#27ae60' -draw 'rectangle 230,60 360,200' \
    -fill white -draw 'polygon 200,280 260,220 320,280' \
    -type TrueColor BMP3:"$picture"
fi
cd "$work"
PIXQV_INI="$work/PIXQV.ini" xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/pixqv_shot" "$picture" "$out"

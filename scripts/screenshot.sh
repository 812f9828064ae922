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
  # The program's own sample picture.
  picture=$work/sample.bmp
  "$build/src/cli/pixqv-cli" sample "$picture" >/dev/null
fi
cd "$work"
PIXQV_INI="$work/PIXQV.ini" xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/pixqv_shot" "$picture" "$out"

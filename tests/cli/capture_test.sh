#!/bin/sh
# pixqv-cli capture: no X11 fails cleanly; under Xvfb the file holds the
# screen exactly (a helper window's picture where it was put, and the same
# pixels ImageMagick's import reads), a 16-bit screen gives 5-6-5 values, and
# delay and count number the files. Skipped (77) without xvfb-run.
set -u
cli=$1
window=$2
work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail() {
  echo "FAIL: $*"
  exit 1
}

# No DISPLAY (a Wayland session alone), or a display nobody serves: exit 1
# with the reason, never Qt's abort.
env -u DISPLAY WAYLAND_DISPLAY=wayland-0 "$cli" capture none.bmp 2>err.txt
rc=$?
[ $rc -eq 1 ] || fail "Wayland only: exit $rc"
grep -q "X11.*Wayland" err.txt || fail "Wayland only: $(cat err.txt)"
DISPLAY=:7391 "$cli" capture none.bmp 2>err.txt
rc=$?
[ $rc -eq 1 ] && grep -q "cannot connect" err.txt || fail "dead display: exit $rc, $(cat err.txt)"
[ ! -e none0001.bmp ] || fail "a file was written without a display"

command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run absent: skipped"; exit 77; }
command -v import >/dev/null 2>&1 || { echo "ImageMagick absent: skipped"; exit 77; }

"$cli" sample s.bmp --size 200x120 >/dev/null || fail "sample"
convert s.bmp -alpha off sample.ppm || fail "sample.ppm"

# Runs "$@" on a fresh Xvfb of the given depth with the sample shown at (100, 50).
# The window says when it has painted, but on a loaded machine the server may
# show the pixels later still: wait until the rectangle holds the sample's many
# colours (30 s at most) before running the command.
on_screen() {
  depth=$1
  shift
  xvfb-run -a -s "-screen 0 640x480x$depth" sh -c '
    window=$1; shift
    "$window" sample.ppm > shown.txt &
    w=$!
    i=0
    while ! grep -q shown shown.txt 2>/dev/null && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
    while [ "$(import -window root -crop 200x120+100+50 +repage -format %k info: 2>/dev/null || echo 0)" -le 8 ] &&
      [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
    "$@"
    rc=$?
    kill $w
    exit $rc' sh "$window" "$@"
}

on_screen 24 sh -c "'$cli' capture shot.bmp > wrote.txt && import -window root root.ppm" || fail "capture at 24 bits"
grep -qx "wrote shot0001.bmp (640x480, 24-bit)" wrote.txt || fail "wrote line: $(cat wrote.txt)"
convert shot0001.bmp -crop 200x120+100+50 +repage -depth 8 rgb:crop.rgb && convert sample.ppm -depth 8 rgb:sample.rgb &&
  cmp -s crop.rgb sample.rgb || fail "the window's rectangle differs from the sample"
convert shot0001.bmp -depth 8 rgb:shot.rgb && convert root.ppm -depth 8 rgb:root.rgb && cmp -s shot.rgb root.rgb ||
  fail "the capture differs from import -window root"

# A 16-bit screen: every red and blue is a 5-bit value widened, every green a 6-bit one.
on_screen 16 "$cli" capture deep.bmp >/dev/null || fail "capture at 16 bits"
for channel in R G B; do
  convert deep0001.bmp -channel $channel -separate -depth 8 gray:- | od -An -tu1 -v | tr -s ' ' '\n' |
    sort -un | grep . > values.txt
  [ "$(wc -l < values.txt)" -gt 8 ] || fail "too few $channel values to judge"
  bits=5
  [ $channel = G ] && bits=6
  awk -v bits=$bits '{ v = int($1 / 2 ^ (8 - bits)); w = v * 2 ^ (8 - bits) + int(v / 2 ^ (2 * bits - 8));
                       if (w != $1) { print "not a widened " bits "-bit value: " $1; exit 1 } }' values.txt ||
    fail "channel $channel"
done

# Two captures a second apart, numbered on from the counter.
mkdir -p seq
start=$(date +%s)
on_screen 24 "$cli" capture seq/s.bmp --delay 1 --count 2 --counter 9 > wrote.txt 2>err.txt ||
  fail "delay and count: $(cat err.txt)"
[ $(($(date +%s) - start)) -ge 2 ] || fail "two one-second delays took less than two seconds"
[ "$(cat wrote.txt)" = "wrote seq/s0009.bmp (640x480, 24-bit)
wrote seq/s0010.bmp (640x480, 24-bit)" ] || fail "delay and count: $(cat wrote.txt)"
echo "capture: all checks passed"

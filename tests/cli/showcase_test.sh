#!/bin/sh
# The headless showcase runs end to end and leaves a complete log behind.
set -eu
cli=$1
dir=$2
rm -rf "$dir"
out=$("$cli" showcase --dir "$dir")
expect() {
  printf '%s\n' "$out" | grep -qE -- "$1" || { echo "missing in output: $1"; printf '%s\n' "$out"; exit 1; }
}
expect '^  \[2\] gradient\[clone\] +640 x 480 .*parent gradient$'
expect '^  \[3\] thirteen_char +64 x 48'
expect 'default palette 31 = \(0, 255, 255\), 244 = \(242, 242, 242\)'
expect '^          Pixanta:Q/v  Information log File$'
expect '^Mem Locked: N Size: 1228804 Name: iHrg$'
expect '^In use at close: +164 real +164 virtual +1 places$'
expect '^Auto - removed memory places = 1$'
cmp -s "$dir/QVLOG.txt" - <<LOG || { echo "QVLOG.txt differs from what was printed"; exit 1; }
$(printf '%s\n' "$out" | sed '1,/^---- QVLOG.txt ----$/d')
LOG
echo "showcase ok"

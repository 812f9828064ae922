#!/bin/sh
# pixqv-cli generate end to end: numbered names, the exit codes and their
# reasons, --json lines, and frames that depend only on the TimeLine and
# their number: made in reverse, one per process, by chunks, accumulating by
# range, and through the desktop program's "/e:" word, they equal one run
# byte for byte.
set -eu
cli=$1
src=$2
pixqv=$3
dir=$4
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
fail() { echo "$1"; exit 1; }
tml=$src/tests/cli/data/wave12.tml

"$cli" sample in.bmp --size 64x48
"$cli" generate "$tml" --image in.bmp --out one/f.bmp --json >one.json 2>err.txt && fail "no folder: should fail"
mkdir one
"$cli" generate "$tml" --image in.bmp --out one/f.bmp --json >one.json
[ "$(wc -l <one.json)" -eq 12 ] || fail "one json line per frame"
grep -q '^{"frame": 12, "file": "one/f0012.bmp", "ms": [0-9]*}$' one.json || fail "json line of frame 12"
[ "$(ls one | wc -l)" -eq 12 ] || fail "twelve frames"
cmp -s one/f0001.bmp one/f0002.bmp && fail "the Trends change the frames"

# An existing output is refused (91) unless --replace; nothing is written.
mkdir two
cp one/f0005.bmp two/f0005.bmp
if "$cli" generate "$tml" --image in.bmp --out two/f.bmp 2>err.txt; then fail "existing output replaced"; fi
grep -q "The sequence output file already exists. (two/f0005.bmp)" err.txt || fail "no message 91: $(cat err.txt)"
[ "$(ls two | wc -l)" -eq 1 ] || fail "a refused run wrote frames"

# In reverse, one process per frame.
for n in 12 11 10 9 8 7 6 5 4 3 2 1; do
  "$cli" generate "$tml" --image in.bmp --frames "$n" --out two/f.bmp --replace
done
# By chunks, and with a counter.
mkdir three
for k in 1 2 3 4 5; do "$cli" generate "$tml" --image in.bmp --chunk "$k/5" --out three/g.bmp --counter 101; done
for n in 01 02 03 04 05 06 07 08 09 10 11 12; do
  cmp one/f00$n.bmp two/f00$n.bmp || fail "frame $n alone differs"
  cmp one/f00$n.bmp three/g01$n.bmp || fail "frame $n of a chunk differs"
done

# The film strip: generated into it equals it assembled from the frames.
"$cli" generate "$tml" --image in.bmp --film gen.flm --film-size 32x24
"$cli" film made.flm one/f00*.bmp --size 32x24
cmp gen.flm made.flm || fail "generate --film differs from film of the frames"

# Accumulating: a range replays the frames before it, unwritten.
mkdir acc part
"$cli" generate "$tml" --image in.bmp --out acc/a.bmp --accumulate
"$cli" generate "$tml" --image in.bmp --frames 7-8 --out part/a.bmp --accumulate
[ "$(ls part)" = "a0007.bmp
a0008.bmp" ] || fail "a range wrote other frames: $(ls part)"
cmp acc/a0008.bmp part/a0008.bmp || fail "an accumulating range differs"
cmp -s acc/a0008.bmp one/f0008.bmp && fail "accumulating changed nothing"

# One frame exactly as named, and as "/e:" writes it.
"$cli" generate "$tml" --image in.bmp --frames 9 --out exact.bmp --exact
cmp exact.bmp one/f0009.bmp || fail "--exact differs"
"$cli" generate "$tml" --image in.bmp --frames 9 --out exact.tga --exact
# A run-length Targa (compressed by default) of 32 bits, TGA's usual depth.
set -- $(head -c 18 exact.tga | od -An -tu1)
[ "$3" -eq 10 ] && [ "${17}" -eq 32 ] || fail "--exact .tga is not a 32-bit Targa"
if [ "$pixqv" != none ]; then
  cp "$tml" e.tml
  # The TimeLine names its own action image for the desktop program.
  printf 'ACT L:1 F:1 V:0 S:1 I:1 in.bmp\n' >>e.tml
  for n in 2 3 4 5 6 7 8 9 10 11; do printf 'ACT L:1 F:%s =\n' "$n" >>e.tml; done
  printf 'ACT L:1 F:12 ==\n' >>e.tml
  "$cli" generate e.tml --frames 4 --out viacli.bmp --exact
  PIXQV_INI=$dir/none.ini QT_QPA_PLATFORM=offscreen "$pixqv" "/e:e.tml,4,viae" /close
  cmp viae viacli.bmp || fail "/e: differs from generate --exact"
  PIXQV_INI=$dir/none.ini QT_QPA_PLATFORM=offscreen "$pixqv" "/e:e.tml,99,last.bmp" /close
  "$cli" generate e.tml --frames 12 --out viacli.bmp --exact --replace
  cmp last.bmp viacli.bmp || fail "/e: does not clamp the frame"
fi

# Ctrl-C stops after the frame being made: exit 1, every frame written is
# whole (one per JSON line) and equals the same frame made alone.
"$cli" sample big.bmp --size 2400x1800
mkdir stop
"$cli" generate "$tml" --image big.bmp --out stop/f.bmp --json >stop.json 2>stop.err &
pid=$!
n=0
until [ -s stop.json ] || [ $n -ge 600 ]; do sleep 0.05; n=$((n + 1)); done
kill -INT $pid
set +e; wait $pid; code=$?; set -e
written=$(ls stop | wc -l)
[ "$code" -eq 1 ] || fail "Ctrl-C: exit $code after $written frames"
grep -q "stopped after frame $written (Ctrl-C)" stop.err || fail "Ctrl-C: $(cat stop.err)"
[ "$written" -eq "$(wc -l <stop.json)" ] || fail "Ctrl-C: a frame without its line"
"$cli" generate "$tml" --image big.bmp --frames "$written" --out alone.bmp --exact
cmp alone.bmp "$(printf stop/f%04d.bmp "$written")" || fail "Ctrl-C: the last frame is not whole"

# Bad usage: 2 with a reason; failures: 1 with the program's message.
expect() {
  code=$1; shift
  set +e; "$cli" generate "$@" 2>err.txt; got=$?; set -e
  [ "$got" -eq "$code" ] || fail "generate $*: exit $got, not $code ($(cat err.txt))"
}
expect 2 "$tml" --image in.bmp --out 'x/*.bmp'
grep -q "cannot hold" err.txt || fail "no reason for *"
expect 2 "$tml" --out x.bmp --frames 3-2
expect 2 "$tml" --out x.bmp --chunk 6/5
expect 2 "$tml" --out x.bmp --frames 1 --chunk 1/2
expect 2 "$tml"
expect 2 "$tml" --out x.xyz
expect 2 "$tml" --out x.bmp --frames 1-3 --exact
expect 2 "$tml" --out x.bmp --frames
expect 1 "$tml" --out x.bmp --frames 13
expect 1 "$tml" --image missing.bmp --out x.bmp
expect 1 missing.tml --out x.bmp
expect 1 "$tml" --out none/x.bmp --frames 1
grep -q "There is no image loaded or specified in the Time Line." err.txt || fail "no message 87: $(cat err.txt)"
echo ok

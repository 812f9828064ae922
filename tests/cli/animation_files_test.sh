#!/bin/sh
# FLIC and AVI files through pixqv-cli: films and generated sequences
# written as .FLC and .AVI, read back frame by frame (convert --frame, info),
# carried from one kind to another, and read by ffprobe and ffmpeg, which
# know nothing of the program.
set -eu
cli=$1
src=$2
dir=$3
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
fail() { echo "$1"; exit 1; }
have_ffmpeg=0
command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1 && have_ffmpeg=1

ppmmake rgb:ff/00/00 40 30 >red.ppm
ppmmake rgb:00/80/ff 40 30 >blue.ppm
ppmmake rgb:20/c0/20 40 30 >green.ppm

# A film of three pictures as FLC, AVI and FLM: the same frames come back.
"$cli" film film.flc red.ppm blue.ppm green.ppm --size 40x30 --ms 50 --reduce choose
"$cli" film film.avi red.ppm blue.ppm green.ppm --size 40x30 --ms 50
"$cli" film film.flm red.ppm blue.ppm green.ppm --size 40x30
"$cli" info film.flc >info.txt
grep -q 'frames: *3' info.txt || fail "FLC frame count: $(cat info.txt)"
grep -q 'frame time: 50 ms' info.txt || fail "FLC frame time: $(cat info.txt)"
"$cli" info film.avi >info.txt
grep -q 'frames: *3' info.txt || fail "AVI frame count"
grep -q 'frame time: 50 ms' info.txt || fail "AVI frame time"
for n in 1 2 3; do
  "$cli" convert film.flm flm$n.bmp --frame $n
  "$cli" convert film.avi avi$n.bmp --frame $n
  "$cli" convert film.flc flc$n.bmp --frame $n
  cmp -s flm$n.bmp avi$n.bmp || fail "AVI frame $n differs from the film's"
  cmp -s flm$n.bmp flc$n.bmp || fail "FLC frame $n differs from the film's (three flat colours fit one palette)"
done
# Past the end: exit 1 with the count.
if "$cli" convert film.flc x.bmp --frame 4 2>err.txt; then fail "frame 4 of 3 read"; fi
grep -q "frame 4 asked of 3" err.txt || fail "no frame count: $(cat err.txt)"

# An animation given to film brings all its frames: FLC -> AVI -> FLM.
"$cli" film again.avi film.flc --size 40x30
"$cli" film again.flm again.avi --size 40x30
"$cli" convert again.flm again3.bmp --frame 3
cmp -s again3.bmp flm3.bmp || fail "frame 3 lost on the way FLC -> AVI -> FLM"

# Bad usage and refusals.
if "$cli" film out.xyz red.ppm blue.ppm 2>err.txt; then fail "unknown film type accepted"; fi
if "$cli" film out.avi red.ppm blue.ppm --depth 16 2>err.txt; then fail "16-bit AVI accepted"; fi
set +e
"$cli" film out.avi red.ppm blue.ppm --depth 16 2>/dev/null
[ $? -eq 2 ] || fail "bad depth is not bad usage"
set -e

# A generated sequence straight into one FLC and one AVI.
tml=$src/tests/cli/data/wave12.tml
"$cli" sample in.bmp --size 64x48
"$cli" generate "$tml" --image in.bmp --out seq.flc --ms 40 --lock-palette --reduce choose
"$cli" generate "$tml" --image in.bmp --out seq.avi --ms 40
"$cli" info seq.flc | grep -q 'frames: *12' || fail "generated FLC frame count"
"$cli" info seq.avi | grep -q 'frames: *12' || fail "generated AVI frame count"
if "$cli" generate "$tml" --image in.bmp --out seq.avi --chunk 1/2 2>/dev/null; then fail "--chunk into one AVI"; fi

[ $have_ffmpeg = 1 ] || { echo "ffmpeg absent: peer checks skipped"; exit 0; }
probe() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream="$2" -of csv=p=0 "$1"; }
[ "$(probe seq.avi width,height,pix_fmt,r_frame_rate,nb_read_frames)" = "64,48,bgr24,25/1,12" ] ||
  fail "ffprobe on the AVI: $(probe seq.avi width,height,pix_fmt,r_frame_rate,nb_read_frames)"
# The FLIC's ring frame is a thirteenth chunk to a player.
[ "$(probe seq.flc width,height,r_frame_rate,nb_read_frames)" = "64,48,25/1,13" ] ||
  fail "ffprobe on the FLC: $(probe seq.flc width,height,r_frame_rate,nb_read_frames)"
for f in seq.avi seq.flc; do
  ffmpeg -v error -y -i $f -frames:v 12 -pix_fmt rgb24 -f rawvideo peer.rgb
  for n in 1 5 12; do
    "$cli" convert $f ours.bmp --frame $n
    convert-im6.q16 ours.bmp rgb:ours.rgb
    dd if=peer.rgb of=theirs.rgb bs=$((64 * 48 * 3)) skip=$((n - 1)) count=1 2>/dev/null
    cmp -s ours.rgb theirs.rgb || fail "$f frame $n: ffmpeg decodes other pixels"
  done
done
echo ok

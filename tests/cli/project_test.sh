#!/bin/sh
# pixqv-cli project on a hand-written project: its images in their roles (a
# name with blanks quoted, a plain name found beside the project), the
# settings, profile and Trend it restores, the line it does not understand,
# and the files it refuses. apply --settings takes a project's settings and
# leaves its images alone.
set -eu
cli=$1
src=$2
dir=$3
rm -rf "$dir"
mkdir -p "$dir/my pics" "$dir/elsewhere"
cd "$dir"
fail() { echo "$1"; exit 1; }
seeds="$src/tests/fuzz/seeds/bmp"
cp "$seeds/rle4.bmp" target.bmp
cp "$seeds/b24.bmp" "my pics/shot (1).bmp"
cp "$seeds/b8.bmp" other.bmp

cat >job.qvp <<QVP
QVPROJECT Pixanta:Q/v File

TARGET: target.bmp
SOURCE: "$dir/my pics/shot (1).bmp"
IMAGE: other.bmp
Motion Blur: 120 -30 55
Trend[Leng] 3 0 2000 0
 10 20 30
Shape 0 200 0 255
 1 2 3
Nothing[X] 1
QVP

# Run from another folder: the relative names are found beside the project.
(cd elsewhere && "$cli" project ../job.qvp) >list.txt || fail "project refused a good file"
grep -q '^header QVPROJECT Pixanta:Q/v File$' list.txt || fail "no header"
grep -q '^image TARGET target.bmp  [A-Za-z]* 4x2$' list.txt || fail "no target"
grep -q "^image SOURCE $dir/my pics/shot (1).bmp  [A-Za-z]* 7x5$" list.txt || fail "no source with blanks"
grep -q '^image IMAGE other.bmp  [A-Za-z]* [0-9]*x[0-9]*$' list.txt || fail "no other image"
grep -q '^operation Motion Blur: Length=120 Direction=-30 Amount=55$' list.txt || fail "Motion Blur not restored"
grep -q '^trend Motion Blur / Length level 1 ' list.txt || fail "no Trend"
grep -q '^profile Shape$' list.txt || fail "no profile"
grep -q '^skipped Nothing\[X\] 1$' list.txt || fail "the unknown line is not reported"
[ "$(grep -c '^operation' list.txt)" = 1 ] || fail "operations it did not change are listed"

"$cli" project job.qvp --json | grep -q "\"role\": \"SOURCE\", \"name\": \"$dir/my pics/shot (1).bmp\", \"path\"" ||
  fail "no JSON source"
printf 'QVOPSET Pixanta:Q/v File\n\nMotion Blur: 1 2 3\n' >ops.qvs
"$cli" project ops.qvs | grep -q '^operation Motion Blur: Length=1 ' || fail "a settings file is not read as a project"

# An image that will not load fails the listing, which still shows the rest.
sed 's/other.bmp/missing.bmp/' job.qvp >missing.qvp
if "$cli" project missing.qvp >missing.txt 2>missing.err; then fail "a missing image passed"; fi
grep -q '^image IMAGE missing.bmp  not loaded: ' missing.txt || fail "the missing image is not reported"
grep -q '^image TARGET' missing.txt || fail "the other images are not listed"

printf 'TIMELINE - x.tml\nFrames:5\n' >film.tml
set +e
"$cli" project film.tml 2>film.err; [ $? = 1 ] || fail "a TimeLine is not refused"
"$cli" project nothing.qvp 2>nothing.err; [ $? = 1 ] || fail "a missing project is not refused"
"$cli" project 2>/dev/null; [ $? = 2 ] || fail "no file is not bad usage"
"$cli" apply target.bmp out.bmp --op "Motion Blur" --settings film.tml 2>/dev/null; [ $? = 1 ] || fail "apply took a TimeLine"
set -e
grep -q 'File does not match the type requested' film.err || fail "no message 42"
grep -q 'Could not open the requested file' nothing.err || fail "no message 71"

# The project's settings drive apply; its image lines load nothing.
"$cli" apply target.bmp blurred.bmp --op "Motion Blur" --settings job.qvp 2>apply.err || fail "apply refused the project"
"$cli" apply target.bmp plain.bmp --op "Motion Blur" --set Length=120 --set Direction=-30 --set Amount=55 2>/dev/null
cmp blurred.bmp plain.bmp || fail "the project's values were not the ones applied"
echo ok

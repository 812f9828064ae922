#!/bin/sh
# Distortion and Transition from the shell: the link's frame equals the one
# `zelvane frame` computes from the same files; the options' exit codes; and
# a companion that cannot be reached (a launcher that logs and exits).
set -eu
cli=$1
zelvane=$2
dir=$3
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
export PIXQV_ZELVANE_SOCKET="$dir/z.sock"
export PIXQV_ZELVANE="$dir/launch.sh"
printf '#!/bin/sh\necho "started $*" >> "%s/launched.txt"\n' "$dir" > launch.sh
chmod +x launch.sh
convert -size 12x10 xc: -fx 'rand()' -depth 8 BMP3:a.bmp
convert -size 7x5 xc: -fx 'rand()' -depth 8 BMP3:b.bmp
printf 'ZPOINTS 1\n# two pairs\n2 2 6.5 3\n9 8 8 5\n' > p.zpt
status() { set +e; "$cli" "$@" >/dev/null 2>err.txt; echo $?; set -e; }
fail() { echo "$*"; cat err.txt 2>/dev/null; exit 1; }

env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$zelvane" --socket "$PIXQV_ZELVANE_SOCKET" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
i=0
while [ ! -e "$PIXQV_ZELVANE_SOCKET.pid" ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i + 1)); done

"$cli" apply a.bmp linked.bmp --op Distortion --point-file p.zpt --set Frame=4 --set "Total frames=7" 2>/dev/null
"$zelvane" frame a.bmp --point-file p.zpt --frame 4 --total 7 direct.bmp
cmp linked.bmp direct.bmp || fail "Distortion: the link and zelvane frame differ"
cmp -s a.bmp linked.bmp && fail "Distortion changed nothing"
# Transition to an end image of another size, stretched to the start's.
"$cli" apply a.bmp linked2.bmp --op Transition --source b.bmp --point-file p.zpt --set Frame=3 --set "Total frames=5" 2>/dev/null
"$zelvane" frame a.bmp --end b.bmp --point-file p.zpt --frame 3 --total 5 direct2.bmp
cmp linked2.bmp direct2.bmp || fail "Transition: the link and zelvane frame differ"

[ "$(status apply a.bmp x.bmp --op Contrast --point-file p.zpt)" = 2 ] || fail "--point-file on Contrast"
[ "$(status apply a.bmp x.bmp --op Distortion)" = 1 ] || fail "Distortion without a point file"
grep -q "will produce no change" err.txt || fail "no message 65"
long=$(printf '%0300d' 0)
[ "$(status apply a.bmp x.bmp --op Distortion --point-file "$long.zpt")" = 2 ] || fail "a point file name past 303 bytes"
[ "$(set +e; "$zelvane" frame a.bmp --point-file missing.zpt --frame 1 --total 2 y.bmp 2>/dev/null; echo $?)" = 1 ] ||
  fail "zelvane frame with a missing point file"
[ ! -e x.bmp ] && [ ! -e y.bmp ] || fail "a failed command wrote its output"

# No companion: the launcher is started once, then message 97, nothing written.
kill $pid
wait $pid 2>/dev/null || true
rm -f "$PIXQV_ZELVANE_SOCKET"
[ "$(status apply a.bmp x.bmp --op Distortion --point-file p.zpt)" = 1 ] || fail "unreachable companion"
grep -q "Cannot talk to Zelvane." err.txt || fail "no message 97"
[ "$(wc -l < launched.txt)" = 1 ] || fail "launched $(wc -l < launched.txt) times"
grep -q -- "--socket $PIXQV_ZELVANE_SOCKET --minimized" launched.txt || fail "launched as: $(cat launched.txt)"
[ ! -e x.bmp ] || fail "x.bmp written"
echo ok

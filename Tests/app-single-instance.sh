#!/usr/bin/env bash
# A second start while the tool runs ends by itself without a second window;
# SIGTERM takes the normal shutdown path.
set -u
. "$(dirname "$0")/gui-helpers.sh"
ensure_display "$@"
exe=$1

logdir="$HOME/.config/Lumacore/VORN_X"
mkdir -p "$logdir"
"$exe" & first=$!
wid=$(wait_for_window 30) || fail "no window appeared"

timeout 30 "$exe"; second=$?
[ $second -ne 124 ] || fail "the second instance did not end by itself"
kill -0 $first 2>/dev/null || fail "the first instance died"
windows=$(xdotool search --name '^VORN Triagent$' | while read -r w; do
  xwininfo -id "$w" | grep -q IsViewable && echo "$w"; done | wc -l)
[ "$windows" -eq 1 ] || fail "expected one window, found $windows"

# Title, size and centring of the one window.
geometry=$(xwininfo -id "$wid")
width=$(awk '/Width:/ {print $2}' <<<"$geometry"); height=$(awk '/Height:/ {print $2}' <<<"$geometry")
x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry"); y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")
[ "$width" -eq 800 ] && [ "$height" -eq 500 ] || fail "content size ${width}x${height}, expected 800x500 on 1920x1080"
[ $((x + width / 2)) -ge 955 ] && [ $((x + width / 2)) -le 965 ] || fail "not centred horizontally (x=$x)"
[ $((y + height / 2)) -ge 535 ] && [ $((y + height / 2)) -le 545 ] || fail "not centred vertically (y=$y)"

kill -TERM $first
wait_for_exit $first 10 || fail "the tool did not end on SIGTERM"
wait $first; rc=$?
[ "$rc" -eq 0 ] || fail "exit code $rc after SIGTERM"

banners=$(grep -c '^Log started: ' "$logdir/Triagent.log")
[ "$banners" -eq 1 ] || fail "expected one banner in the log, found $banners"
echo "PASS: one window (${width}x${height} at $x,$y); the second start ended with $second; clean exit on SIGTERM"

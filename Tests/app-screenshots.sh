#!/usr/bin/env bash
# Screenshots of both tabs of the real window, for a person to look at.
set -u
. "$(dirname "$0")/gui-helpers.sh"
ensure_display "$@"
exe=$1; out=$2
mkdir -p "$out"

"$exe" & app=$!
trap 'kill -TERM $app 2>/dev/null' EXIT
wid=$(wait_for_window 30) || fail "no window appeared"
sleep 1 # let the first screen arrive from the worker
import -window "$wid" "$out/logging-tab.png" || fail "screenshot failed"

eval "$(xdotool getwindowgeometry --shell "$wid")"
# The tab bar runs along the bottom; the second tab starts after "Logging".
xdotool mousemove $((X + 150)) $((Y + HEIGHT - 15)) click 1
sleep 0.5
import -window "$wid" "$out/reset-tab.png" || fail "screenshot failed"

diff=$(compare -metric AE "$out/logging-tab.png" "$out/reset-tab.png" null: 2>&1 >/dev/null | cut -d' ' -f1)
[ "${diff%%.*}" -gt 1000 ] || fail "the tab did not change (difference $diff pixels)"
echo "PASS: screenshots in $out (logging-tab.png, reset-tab.png)"

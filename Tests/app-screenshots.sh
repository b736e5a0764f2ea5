#!/usr/bin/env bash
# Screenshots of both tabs of the real window, for a person to look at.
set -u
. "$(dirname "$0")/gui-helpers.sh"
ensure_display "$@"
exe=$1; out=$2
mkdir -p "$out"

log="$HOME/.config/Lumacore/VORN_X/Triagent.log"
mkdir -p "$(dirname "$log")"
start_tool "$exe"
wait_for_log "VORN Triagent initialized" 20 # the first screen has come from the worker
sleep 0.3                                   # and painted
import -window "$wid" "$out/logging-tab.png" || fail "screenshot failed"

# The tab bar runs along the bottom; the second tab starts after "Logging".
# Until the page has changed, a click the window was not ready for is repeated.
i=0
while :; do
  xdotool mousemove $((X + 150)) $((Y + HEIGHT - 15)) click 1
  sleep 0.5
  import -window "$wid" "$out/reset-tab.png" || fail "screenshot failed"
  diff=$(compare -metric AE "$out/logging-tab.png" "$out/reset-tab.png" null: 2>&1 >/dev/null | cut -d' ' -f1)
  [ "${diff%%.*}" -gt 1000 ] && break
  [ $i -ge 20 ] && fail "the tab did not change (difference $diff pixels)"
  i=$((i + 1))
done
echo "PASS: screenshots in $out (logging-tab.png, reset-tab.png)"

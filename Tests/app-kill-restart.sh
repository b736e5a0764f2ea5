#!/usr/bin/env bash
# The real tool killed with SIGKILL after ENABLE LOGGING: DebugView dies with
# it, and the next start switches the product's debug log off again.
set -u
. "$(dirname "$0")/gui-helpers.sh"
ensure_display "$@"
exe=$1

log="$HOME/.config/Lumacore/VORN_X/Triagent.log"
debug_json="$HOME/Documents/Lumacore/VORN_X/debug.json"
mkdir -p "$(dirname "$log")"
install_fake_dbgview

"$exe" & app=$!
trap 'kill -9 $app 2>/dev/null' EXIT
wid=$(wait_for_window 30) || fail "no window appeared"
eval "$(xdotool getwindowgeometry --shell "$wid")"
wait_for_log "VORN Triagent initialized" 20
click_action_until "Enabling logging" 40
wait_for_log "Crash reports enabled" 20
[ -f "$debug_json" ] || fail "no debug.json"
i=0
until [ -s "$dbgview.pid" ]; do [ $i -ge 50 ] && fail "DebugView did not start"; sleep 0.1; i=$((i + 1)); done
capture=$(cat "$dbgview.pid")

kill -9 $app
wait $app 2>/dev/null
i=0
while kill -0 "$capture" 2>/dev/null && ! grep -q '^State:.*Z' "/proc/$capture/status" 2>/dev/null; do
  [ $i -ge 20 ] && fail "DebugView ($capture) outlived the killed tool"
  sleep 0.1; i=$((i + 1))
done
[ -f "$debug_json" ] || fail "debug.json should still be there after SIGKILL"

# The next start switches the product's debug log off and says so.
i=0; while xdotool search --name '^VORN Triagent$' >/dev/null 2>&1; do [ $i -ge 50 ] && break; sleep 0.1; i=$((i + 1)); done
rm -f "$log"
"$exe" & app=$!
wait_for_window 30 >/dev/null || fail "no window at the second start"
wait_for_log "Switched off after an earlier run: $debug_json" 20
[ ! -e "$debug_json" ] || fail "debug.json is still there after the next start"
kill -TERM $app
wait_for_exit $app 10 || fail "the tool did not end on SIGTERM"

# A journal that nests without end (JUCE's parser would overflow its stack):
# logged and ignored, and the window comes up.
journal="${XDG_DATA_HOME:-$HOME/.local/share}/Lumacore/Triagent/switches.journal"
mkdir -p "$(dirname "$journal")"
head -c 900000 /dev/zero | tr '\0' '[' > "$journal"
i=0; while xdotool search --name '^VORN Triagent$' >/dev/null 2>&1; do [ $i -ge 50 ] && break; sleep 0.1; i=$((i + 1)); done
rm -f "$log"
"$exe" & app=$!
wait_for_window 30 >/dev/null || fail "no window with a deeply nested journal"
wait_for_log "Ignored a damaged switch journal: $journal" 20
wait_for_log "VORN Triagent initialized" 20
[ ! -e "$journal" ] || fail "the damaged journal was not cleared"
kill -TERM $app
wait_for_exit $app 10 || fail "the tool did not end on SIGTERM"
trap - EXIT
echo "PASS: DebugView ended with the killed tool; the next start removed debug.json; a deeply nested journal was ignored"

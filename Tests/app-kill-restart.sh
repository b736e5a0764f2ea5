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

start_tool "$exe" 9
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
wait_for_no_window || fail "the killed tool's window stayed"
rm -f "$log"
start_tool "$exe"
wait_for_log "Switched off after an earlier run: $debug_json" 20
[ ! -e "$debug_json" ] || fail "debug.json is still there after the next start"
kill -TERM $app
wait_for_exit $app 10 || fail "the tool did not end on SIGTERM"

# A journal that nests without end (JUCE's parser would overflow its stack):
# logged and ignored, and the window comes up.
journal="${XDG_DATA_HOME:-$HOME/.local/share}/Lumacore/Triagent/switches.journal"
mkdir -p "$(dirname "$journal")"
head -c 900000 /dev/zero | tr '\0' '[' > "$journal"
wait_for_no_window || fail "the window of the second start stayed"
rm -f "$log"
start_tool "$exe"
wait_for_log "Ignored a damaged switch journal: $journal" 20
wait_for_log "VORN Triagent initialized" 20
[ ! -e "$journal" ] || fail "the damaged journal was not cleared"
kill -TERM $app
wait_for_exit $app 10 || fail "the tool did not end on SIGTERM"
trap - EXIT
echo "PASS: DebugView ended with the killed tool; the next start removed debug.json; a deeply nested journal was ignored"

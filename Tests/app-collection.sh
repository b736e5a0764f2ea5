#!/usr/bin/env bash
# The real tool driven by clicks through a whole collection, with screenshots
# of the first screen, the countdown and the finish screen.
set -u
. "$(dirname "$0")/gui-helpers.sh"
ensure_display "$@"
exe=$1; out=$2
mkdir -p "$out"

log="$HOME/.config/Lumacore/VORN_X/Triagent.log"
mkdir -p "$(dirname "$log")" "$HOME/Documents/Lumacore/VORN_X"
echo '<config/>' > "$HOME/Documents/Lumacore/VORN_X/config.xml"
install_fake_dbgview

start_tool "$exe"

wait_for_log "VORN Triagent initialized" 20
import -window "$wid" "$out/1-first-screen.png"

# NEXT, then ENABLE LOGGING: the same button. A click the window was not ready
# for is simply repeated; one that arrives during the step is dropped by the wizard.
click_action_until "Enabling logging" 40
wait_for_log "Please run VORN until issues occur" 20
import -window "$wid" "$out/2-countdown.png"

# COLLECT is clickable when its 15-second countdown ends: click until it takes.
click_action_until "Collecting system info" 60
wait_for_log "Temporary files removed" 60
sleep 0.3                          # let the last closure paint
import -window "$wid" "$out/3-finish.png"

zip=$(ls "$HOME"/Documents/Lumacore/VORN_LOG_*.zip 2>/dev/null | head -n 1)
[ -n "$zip" ] || fail "no zip in the documents folder"
unzip -tqq "$zip" || fail "the zip does not pass unzip -t"
listing=$(unzip -Z1 "$zip")
grep -qx "system_info.txt" <<<"$listing" || fail "no system_info.txt in the zip"
grep -qx ".config-Lumacore-VORN_X/Triagent.log" <<<"$listing" || fail "no tool log in the zip"
[ ! -e "$HOME/Documents/Lumacore/VORN_X/debug.json" ] || fail "debug.json was left behind"

click_close
wait_for_exit $app 10 || fail "CLOSE did not end the tool"
wait $app; rc=$?
trap - EXIT
[ $rc -eq 0 ] || fail "exit code $rc"
echo "PASS: $(basename "$zip") with $(wc -l <<<"$listing") entries; screenshots in $out"

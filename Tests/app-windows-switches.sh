#!/usr/bin/env bash
# The Windows build under Wine, ended before the Finish screen: killed from
# outside (TerminateProcess) after ENABLE LOGGING, and closed in the reproduce
# step. DebugView dies with the tool, and the next start switches off what the
# earlier run left on.
# Usage: app-windows-switches.sh <Triagent.exe> <Dbgview.exe>
set -u
. "$(dirname "$0")/wine-helpers.sh"
install_tool "$1" "$2"
fresh_user_state
trap '[ -n "${tool:-}" ] && kill -9 $tool 2>/dev/null' EXIT
debug_json="$U/Documents/Lumacore/VORN_X/debug.json"
journal="$U/AppData/Local/Lumacore/Triagent/switches.journal"

enable_logging() {
  wait_for_log "VORN Triagent initialized" 30
  click_action_until "Enabling logging" 40
  wait_for_log "Crash reports enabled" 30
  [ -f "$debug_json" ] || fail "no debug.json"
  key_exists "$product_key" || fail "no crash-dump key"
  key_exists "$record_key" || fail "no machine record of the crash-dump switch"
  [ -f "$journal" ] || fail "no journal"
  [ -n "$(running 'dbgview\.exe$')" ] || fail "DebugView does not run"
}

# The next start finds what the earlier run left on and switches it off.
expect_switched_off() {
  start_tool
  wait_for_log "VORN Triagent initialized" 30
  [ ! -e "$debug_json" ] || fail "debug.json is still there ($1)"
  key_exists "$product_key" && fail "the crash-dump key is still there ($1)"
  key_exists "$dumps_key" && fail "LocalDumps is still there ($1)"
  [ ! -e "$journal" ] || fail "the journal was not cleared ($1)"
  key_exists "$record_key" && fail "the machine record is still there ($1)"
  grep -qF "Switched off after an earlier run: crash dumps, HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\Windows Error Reporting\\LocalDumps\\VORN X.exe" "$log" \
    || fail "no log line for the crash-dump key ($1)"
  grep -qF "Switched off after an earlier run: local crash dumps for every program, the LocalDumps key" "$log" \
    || fail "no log line for LocalDumps ($1)"
}

close_tool() {
  click_close
  wait_for_exit $tool 20 || fail "CLOSE did not end the tool"
  wait $tool; local rc=$?; tool=
  [ $rc -eq 0 ] || fail "exit code $rc"
}

# 1. Killed from outside after ENABLE LOGGING.
start_tool
enable_logging
wine taskkill /F /IM Triagent.exe </dev/null >/dev/null 2>&1
wait_for_exit $tool 10 || fail "the tool was not killed"
tool=
key_exists "$record_key" || fail "the machine record did not survive TerminateProcess"
grep -q crashDumps "$journal" && fail "the user's journal holds the crash-dump switch"
wait_gone 'dbgview\.exe$' 2 || fail "DebugView outlived the killed tool"
expect_switched_off "killed"
grep -qF "Switched off after an earlier run: $WU\\Documents\\Lumacore\\VORN_X\\debug.json" "$log" \
  || fail "no log line for debug.json"

# 2. CLOSE in the reproduce step: crash dumps stay on until the next start.
enable_logging
wait_for_log "Please run VORN until issues occur" 30
close_tool
wait_gone 'dbgview\.exe$' 2 || fail "DebugView outlived the closed tool"
[ ! -e "$debug_json" ] || fail "debug.json was left by CLOSE"
key_exists "$product_key" || fail "the crash-dump key should stay on until the next start"
expect_switched_off "closed"
close_tool

# 3. A forged user journal that would "restore" an administrator's key to a
# DumpFolder of its own: the key keeps its values.
wine reg add "$product_key" /v DumpType /t REG_DWORD /d 1 /f </dev/null >/dev/null 2>&1 || fail "cannot add the key"
share=$(printf '\\\\evil\\share\0' | iconv -f UTF-8 -t UTF-16LE | base64 -w0)
mkdir -p "$(dirname "$journal")"
printf '{"journal": "VORN Triagent switch journal", "version": 1, "tempFiles": [], "crashDumps": {"createdLocalDumps": false, "keyExisted": true, "foundValues": [{"name": "DumpFolder", "type": 2, "data": "%s"}, {"name": "DumpType", "type": 4, "data": "AgAAAA=="}]}}' "$share" > "$journal"
start_tool
wait_for_log "VORN Triagent initialized" 30
values=$(wreg query "$product_key")
echo "$values" | grep -q "DumpFolder" && fail "the forged journal's DumpFolder reached the machine: $values"
echo "$values" | grep -qE "DumpType +REG_DWORD +0x1$" || fail "the administrator's DumpType changed: $values"
[ ! -e "$journal" ] || fail "the forged journal was not cleared"
close_tool
wine reg delete "$product_key" /f </dev/null >/dev/null 2>&1

# 4. A journal that nests without end: logged, ignored, and the window comes up.
head -c 900000 /dev/zero | tr '\0' '[' > "$journal"
start_tool
wait_for_log "Ignored a damaged switch journal" 30
wait_for_log "VORN Triagent initialized" 30
[ ! -e "$journal" ] || fail "the damaged journal was not cleared"
close_tool
echo "PASS: DebugView ended with the killed and the closed tool; the next start switched the rest off from the machine record; a forged journal reached nothing, a deeply nested journal was ignored"

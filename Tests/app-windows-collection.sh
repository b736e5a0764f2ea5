#!/usr/bin/env bash
# The Windows build under Wine, driven by clicks through a whole collection as
# a Windows user would, then the backup and reset, with screenshots.
# Usage: app-windows-collection.sh <Triagent.exe> <Dbgview.exe> <screenshot folder>
set -u
. "$(dirname "$0")/wine-helpers.sh"
out=$3
mkdir -p "$out"
install_tool "$1" "$2"
fresh_user_state
key_exists "$dumps_key" && fail "LocalDumps is still there"

mkdir -p "$U/AppData/Roaming/Lumacore/VORN_X/Logs" "$U/Documents/Lumacore/VORN_X"
printf 'product log line\r\n' > "$U/AppData/Roaming/Lumacore/VORN_X/Logs/product.log"
printf '<config/>\r\n' > "$U/Documents/Lumacore/VORN_X/config.xml"
# Links that any program of the user can plant in the product's folders: a loop,
# another user's profile, a file outside. Wine shows the Linux links as links
# to folders (reparse points) and as plain files.
other="$WINEPREFIX/drive_c/users/other-user"
mkdir -p "$other"; echo "another user's secret" > "$other/secret.txt"
ln -sfn .. "$U/AppData/Roaming/Lumacore/VORN_X/Logs/loop"
ln -sfn "$other" "$U/AppData/Roaming/Lumacore/VORN_X/other-profile"
ln -sfn "$other/secret.txt" "$U/AppData/Roaming/Lumacore/VORN_X/Logs/secret.log"

# A temporary folder with a space in its name, restored at the end.
old_temp=$(wreg query 'HKCU\Environment' /v TEMP | awk '/TEMP/ {sub(/.*REG_[A-Z_]+ +/, ""); print}')
old_tmp=$(wreg query 'HKCU\Environment' /v TMP | awk '/TMP/ {sub(/.*REG_[A-Z_]+ +/, ""); print}')
restore_temp() {
  wine reg add 'HKCU\Environment' /v TEMP /t REG_EXPAND_SZ /d "${old_temp:-$WU\\Temp}" /f </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Environment' /v TMP /t REG_EXPAND_SZ /d "${old_tmp:-$WU\\Temp}" /f </dev/null >/dev/null 2>&1
}
trap 'restore_temp; [ -n "${tool:-}" ] && kill -9 $tool 2>/dev/null' EXIT
mkdir -p "$U/Temp Space"; rm -f "$U/Temp Space/DebugView.txt"
wine reg add 'HKCU\Environment' /v TEMP /t REG_EXPAND_SZ /d "$WU\\Temp Space" /f </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Environment' /v TMP /t REG_EXPAND_SZ /d "$WU\\Temp Space" /f </dev/null >/dev/null 2>&1

# 1. The window: titled, 800 x 500 content, centred on 1920 x 1080; one instance only.
start_tool
[ "$WIDTH" -eq 800 ] && [ "$HEIGHT" -eq 500 ] || fail "content ${WIDTH}x${HEIGHT}, expected 800x500"
[ $((X + WIDTH / 2)) -ge 955 ] && [ $((X + WIDTH / 2)) -le 965 ] || fail "not centred horizontally (x=$X)"
[ $((Y + HEIGHT / 2)) -ge 535 ] && [ $((Y + HEIGHT / 2)) -le 545 ] || fail "not centred vertically (y=$Y)"
(cd "$app" && timeout 60 wine "$wapp\\Triagent.exe" </dev/null >/dev/null 2>&1); second=$?
[ $second -ne 124 ] || fail "the second start did not end by itself"
kill -0 $tool 2>/dev/null || fail "the first instance died"
windows=$(xdotool search --onlyvisible --name '^VORN Triagent$' | wc -l)
[ "$windows" -eq 1 ] || fail "expected one window, found $windows"
wait_for_log "VORN Triagent initialized" 30
shoot "$out/windows-1-first-screen.png"

# 2. ENABLE LOGGING: debug.json, the crash-dump key, DebugView with the whole path.
click_action_until "Enabling logging" 40
wait_for_log "Crash reports enabled" 30
printf '\r\n{\r\n    "DEBUG_LOG_ENABLE": true\r\n}\r\n' | cmp -s - "$U/Documents/Lumacore/VORN_X/debug.json" \
  || fail "debug.json does not hold its 38 bytes"
values=$(wreg query "$product_key")
grep -Eq "DumpFolder +REG_EXPAND_SZ +$(sed 's/\\/\\\\/g' <<<"$WU")\\\\AppData\\\\Local\\\\CrashDumps\$" <<<"$values" \
  || fail "DumpFolder: $values"
grep -Eq 'DumpCount +REG_DWORD +0xa$' <<<"$values" || fail "DumpCount: $values"
grep -Eq 'DumpType +REG_DWORD +0x2$' <<<"$values" || fail "DumpType: $values"
expected_args=$(printf '/l\n%s\n/t\n' "$WU\\Temp Space\\DebugView.txt")
[ "$(head -n 3 "$app/Dbgview.exe.args")" = "$expected_args" ] || fail "DebugView's arguments: $(cat "$app/Dbgview.exe.args")"
[ -n "$(running 'dbgview\.exe$')" ] || fail "DebugView does not run"
wait_for_log "Please run VORN until issues occur" 30
sleep 0.3
shoot "$out/windows-2-countdown.png"

# 3. COLLECT: the zip, and everything switched off again.
click_action_until "Collecting system info" 60
wait_for_log "Temporary files removed" 120
sleep 0.3
shoot "$out/windows-3-finish.png"
zip=$(ls "$U"/Documents/Lumacore/VORN_LOG_*.zip 2>/dev/null | head -n 1)
[ -n "$zip" ] || fail "no zip in the documents folder"
[[ "$(basename "$zip")" =~ ^VORN_LOG_[0-9]{14}\.zip$ ]] || fail "zip name $(basename "$zip")"
unzip -tqq "$zip" || fail "the zip does not pass unzip -t"
python=/usr/bin/python3; [ -x $python ] || python=python3
$python - "$zip" <<'EOF' || fail "the zip's content"
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
names = z.namelist()
assert names[0] == "system_info.txt", names
report = z.read("system_info.txt")
assert b"\n" not in report.replace(b"\r\n", b""), "a bare line feed in system_info.txt"
headers = [l for l in report.split(b"\r\n") if l.startswith(b"=== ")]
assert headers == [b"=== systeminfo ===", b"=== WMIC path Win32_VideoController ===",
                   b'=== reg query "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Cryptography" ==='], headers
for name in ("AppData-Roaming-Lumacore-VORN_X/Triagent.log", "AppData-Roaming-Lumacore-VORN_X/Logs/product.log",
             "Documents-Lumacore-VORN_X/config.xml", "DebugView.txt"):
    assert name in names, (name, names)
assert b"captured" in z.read("DebugView.txt")
assert not any("\\" in n for n in names), names
assert not any("secret" in n or "loop" in n or "other-profile" in n for n in names), names
assert len(names) == len(set(names)), names
# The zip describes itself: the manifest names every other entry and the three Windows commands.
import json, zlib
assert names[-1] == "manifest.json", names
m = json.loads(z.read("manifest.json").decode("utf-8"))
assert m["format"] == 1 and m["tool"]["name"] == "VORN Triagent", m
assert [e["name"] for e in m["entries"]] == names[:-1], (m["entries"], names)
for e in m["entries"]:
    assert e["size"] == z.getinfo(e["name"]).file_size and int(e["crc32"], 16) == z.getinfo(e["name"]).CRC, e
assert names[-2] == "AppData-Roaming-Lumacore-VORN_X/Triagent.log", names
commands = [c["command"] for c in m["commands"]]
assert len(commands) == 3 and commands[0].lower().endswith("systeminfo.exe") and "WMIC.exe" in commands[1] and "reg.exe" in commands[2], commands
assert all(isinstance(c["exitCode"], int) for c in m["commands"]), m["commands"]
assert all(s["on"] for s in m["switches"]), m["switches"]
print("zip:", len(names), "entries; manifest exit codes", [c["exitCode"] for c in m["commands"]])
EOF
for link in Logs/loop other-profile Logs/secret.log; do
  grep -qF "Skipped a link: $WU\AppData\Roaming\Lumacore\VORN_X\\$(tr / '\\' <<<"$link")" "$log" || fail "no log line for the link $link"
done
[ ! -e "$U/Documents/Lumacore/VORN_X/debug.json" ] || fail "debug.json was left behind"
[ ! -e "$U/Documents/Lumacore/system_info.txt" ] || fail "system_info.txt was left behind"
key_exists "$product_key" && fail "the crash-dump key was left on"
key_exists "$dumps_key" && fail "LocalDumps was left behind"
wait_gone 'dbgview\.exe$' 5 || fail "DebugView still runs"

# 4. SEE ZIP FILE: the file manager opens on the zip. Wine's shell opens a new
#    explorer.exe on the zip's folder (real Windows also selects the file in it).
before=$(running 'explorer\.exe$' | sort)
click_action
i=0
until running 'explorer\.exe$' | sort | comm -13 <(echo "$before") - | grep -q .; do
  [ $i -ge 100 ] && fail "no file manager opened"
  sleep 0.1; i=$((i + 1))
done
opened=$(ps -eo args= | grep -i '^C:.*explorer\.exe' | grep -F "$WU\Documents\Lumacore" | head -n 1)
[ -n "$opened" ] || fail "the file manager did not open on the zip's folder: $(ps -eo args= | grep -i explorer)"
echo "file manager: $opened"
for p in $(running 'explorer\.exe$' | sort | comm -13 <(echo "$before") -); do kill "$p"; done

# 5. Backup & Reset: two clicks move the product folder aside with its content.
xdotool mousemove $((X + 120)) $((Y + HEIGHT - 15)) click 1
sleep 0.5
xdotool mousemove $((X + 692)) $((Y + 366)) click 1
sleep 0.5
xdotool mousemove $((X + 692)) $((Y + 366)) click 1
i=0
until backup=$(ls -d "$U"/Documents/Lumacore/VORN_X_BACKUP_* 2>/dev/null) && [ -n "$backup" ]; do
  [ $i -ge 100 ] && fail "no backup folder"
  sleep 0.1; i=$((i + 1))
done
[[ "$(basename "$backup")" =~ ^VORN_X_BACKUP_[0-9]{14}$ ]] || fail "backup name $(basename "$backup")"
[ -f "$backup/config.xml" ] || fail "the backup lacks config.xml"
[ ! -e "$U/Documents/Lumacore/VORN_X" ] || fail "the product folder is still there"
sleep 0.3
shoot "$out/windows-4-reset.png"

# 6. CLOSE ends the tool with exit code 0.
xdotool mousemove $((X + 692)) $((Y + 431)) click 1
wait_for_exit $tool 20 || fail "CLOSE did not end the tool"
wait $tool; rc=$?
tool=
[ $rc -eq 0 ] || fail "exit code $rc"
echo "PASS: $(basename "$zip"); second start ended with $second; screenshots in $out"

#!/usr/bin/env bash
# The Windows build under Wine with the documents folder on another drive (D:,
# the "Personal" shell folder pointing there) and a product log deeper than
# MAX_PATH: a whole collection through the window; the zip holds the product
# documents folder's files and the deep log, and no entry name has a colon.
# Usage: app-windows-otherdrive.sh <Triagent.exe> <Dbgview.exe> <work folder>
set -u
. "$(dirname "$0")/wine-helpers.sh"
install_tool "$1" "$2"
fresh_user_state
drive="$3/drive-d"
rm -rf "$drive"; mkdir -p "$drive/Docs/Lumacore/VORN_X"
printf '<config on="D"/>\r\n' > "$drive/Docs/Lumacore/VORN_X/config.xml"

folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
old_personal=$(wreg query "$folders" /v Personal | awk '/Personal/ {sub(/.*REG_[A-Z_]+ +/, ""); print}')
restore() {
  wine reg add "$folders" /v Personal /t REG_EXPAND_SZ /d "${old_personal:-%USERPROFILE%\\Documents}" /f </dev/null >/dev/null 2>&1
  rm -f "$WINEPREFIX/dosdevices/d:"
  [ -n "${tool:-}" ] && kill -9 $tool 2>/dev/null
}
trap restore EXIT
ln -sfn "$drive" "$WINEPREFIX/dosdevices/d:"
wine reg add "$folders" /v Personal /t REG_EXPAND_SZ /d 'D:\Docs' /f </dev/null >/dev/null 2>&1 || fail "cannot move the documents folder"

# A product log below a folder path longer than 260 characters.
deep="$U/AppData/Roaming/Lumacore/VORN_X/Logs"
for i in 1 2 3 4 5 6; do deep="$deep/a-folder-name-of-forty-characters-long-$i"; done
mkdir -p "$deep"; printf 'deep log line\r\n' > "$deep/deep.log"
[ ${#deep} -gt 300 ] || fail "the deep folder is only ${#deep} characters long"

start_tool
wait_for_log "VORN Triagent initialized" 30
click_action_until "Enabling logging" 40
wait_for_log "Please run VORN until issues occur" 60
[ -f "$drive/Docs/Lumacore/VORN_X/debug.json" ] || fail "debug.json is not in the documents folder on D:"
click_action_until "Collecting system info" 60
wait_for_log "Temporary files removed" 120
zip=$(ls "$drive"/Docs/Lumacore/VORN_LOG_*.zip 2>/dev/null | head -n 1)
[ -n "$zip" ] || fail "no zip in the documents folder on D:"
python=/usr/bin/python3; [ -x $python ] || python=python3
$python - "$zip" <<'PY' || fail "the zip's names"
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
names = z.namelist()
colon = [n for n in names if ':' in n]
assert not colon, "names with a colon: %r" % colon
config = [n for n in names if n.endswith('/config.xml')]
assert config == ['D-Docs-Lumacore-VORN_X/config.xml'], names
assert z.read(config[0]) == b'<config on="D"/>\r\n'
deep = [n for n in names if n.endswith('/deep.log')]
assert len(deep) == 1 and len(deep[0]) > 260, names
assert z.read(deep[0]) == b'deep log line\r\n'
PY
click_close
wait_for_exit $tool 20 || fail "CLOSE did not end the tool"
wait $tool; rc=$?; tool=
[ $rc -eq 0 ] || fail "exit code $rc"
echo "PASS: documents on D: collected as D-Docs-Lumacore-VORN_X/, a log below a path of ${#deep} characters archived, no colon in any name"

# Shared by the scripts that drive the Windows build under Wine, in the build's
# own prefix ($WINEPREFIX) on the test display ($DISPLAY).
. "$(dirname "${BASH_SOURCE[0]}")/gui-helpers.sh"

: "${WINEPREFIX:?run through scripts/test-windows}"
[ -n "${DISPLAY:-}" ] || fail "no display"
export WINEDEBUG=-all

wuser=$(wine cmd /c 'echo %USERNAME%' </dev/null 2>/dev/null | tr -d '\r')
[ -n "$wuser" ] || fail "no Wine user"
U="$WINEPREFIX/drive_c/users/$wuser"   # the user's profile, seen from Linux
WU="C:\\users\\$wuser"                  # ... and from Windows
log="$U/AppData/Roaming/Lumacore/VORN_X/Triagent.log"
dumps_key='HKLM\SOFTWARE\Microsoft\Windows\Windows Error Reporting\LocalDumps'
product_key="$dumps_key\\VORN X.exe"
record_key='HKLM\SOFTWARE\Lumacore\Triagent\CrashDumpRecord' # the tool's own machine record

wreg() { wine reg "$@" </dev/null 2>/dev/null | tr -d '\r'; }
key_exists() { wine reg query "$1" </dev/null >/dev/null 2>&1; }

# A folder of its own for the tool with the DebugView stand-in beside it.
# Usage: install_tool <Triagent.exe> <Dbgview.exe>; sets app and wapp.
install_tool() {
  app="$WINEPREFIX/drive_c/triagent-test"
  wapp='C:\triagent-test'
  rm -rf "$app"; mkdir -p "$app"
  cp "$1" "$app/Triagent.exe"; cp "$2" "$app/Dbgview.exe"
}

# No product files, no switches and no journal from an earlier test.
fresh_user_state() {
  rm -rf "$U/Documents/Lumacore" "$U/AppData/Roaming/Lumacore" "$U/AppData/Local/Lumacore" "$U/AppData/Local/CrashDumps"
  wine reg delete "$product_key" /f </dev/null >/dev/null 2>&1
  wine reg delete "$dumps_key" /f </dev/null >/dev/null 2>&1
  wine reg delete 'HKLM\SOFTWARE\Lumacore\Triagent' /f </dev/null >/dev/null 2>&1
  mkdir -p "$(dirname "$log")"
}

# Starts the tool; sets tool (its process) and wid, X, Y, WIDTH, HEIGHT of its window.
# The window and the log of an earlier start must not be taken for this one's.
start_tool() {
  local i=0
  while xdotool search --name '^VORN Triagent$' >/dev/null 2>&1; do
    [ $i -ge 100 ] && fail "the window of an earlier start is still there"
    sleep 0.1; i=$((i + 1))
  done
  rm -f "$log"
  (cd "$app" && exec wine "$wapp\\Triagent.exe" </dev/null >/dev/null 2>&1) & tool=$!
  wid=$(wait_for_window 60) || fail "no window appeared"
  eval "$(xdotool getwindowgeometry --shell "$wid")"
}


# The pids of running (not defunct) processes whose program (Wine shows its Windows path) matches $1.
running() { ps -eo pid=,stat=,args= | awk -v pat="$1" '$2 !~ /^Z/ && tolower($3) ~ tolower(pat) {print $1}'; }

# Waits up to $2 seconds until no process matches $1.
wait_gone() {
  local i=0
  while [ -n "$(running "$1")" ]; do
    [ $i -ge $(($2 * 10)) ] && return 1
    sleep 0.1; i=$((i + 1))
  done
}

# A screenshot of the window as shown: Wine draws into child windows, so the
# screen is cut out rather than the top-level window read.
shoot() { import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1" || fail "screenshot $1"; }

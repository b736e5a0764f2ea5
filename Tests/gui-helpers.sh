# Shared by the scripts that drive the real tool under a display.

fail() { echo "FAIL: $*" >&2; exit 1; }

# The tool under test reads and writes the user's folders: they must be the
# sandbox's (Tests/sandbox-run), never the real user's.
require_sandbox() {
  local d
  [ -n "${TRIAGENT_TEST_SANDBOX:-}" ] || fail "not in a sandbox: run through ctest (Tests/sandbox-run)"
  for d in "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$TMPDIR"; do
    case "$d/" in "$TRIAGENT_TEST_SANDBOX"/*) ;; *) fail "$d is outside the sandbox $TRIAGENT_TEST_SANDBOX" ;; esac
  done
}

# Runs the caller again under a virtual display when there is none.
ensure_display() {
  require_sandbox
  if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$0" "$@"
  fi
}

# Prints the id of the first window named exactly "VORN Triagent", waiting up to $1 seconds.
wait_for_window() {
  local limit=${1:-30} i=0 wid
  while [ $i -lt $((limit * 10)) ]; do
    wid=$(xdotool search --name '^VORN Triagent$' 2>/dev/null | head -n 1)
    if [ -n "$wid" ] && xwininfo -id "$wid" 2>/dev/null | grep -q 'IsViewable'; then
      echo "$wid"; return 0
    fi
    sleep 0.1; i=$((i + 1))
  done
  return 1
}

# Starts the tool $1 in the background as $app, to be killed with signal $2
# (TERM unless given) when the script ends, and waits for its window: $wid,
# and its geometry as $X, $Y, $WIDTH and $HEIGHT.
start_tool() {
  "$1" & app=$!
  trap "kill -${2:-TERM} $app 2>/dev/null" EXIT
  wid=$(wait_for_window 30) || fail "no window appeared"
  eval "$(xdotool getwindowgeometry --shell "$wid")"
}

# Waits up to 5 seconds for the tool's window to be gone (after a kill).
wait_for_no_window() {
  local i=0
  while xdotool search --name '^VORN Triagent$' >/dev/null 2>&1; do
    [ $i -ge 50 ] && return 1
    sleep 0.1; i=$((i + 1))
  done
}

# Waits up to $2 seconds for process $1 to end (then reap it with wait).
wait_for_exit() {
  local pid=$1 limit=${2:-10} i=0
  while kill -0 "$pid" 2>/dev/null && ! grep -q '^State:.*Z' "/proc/$pid/status" 2>/dev/null; do
    [ $i -ge $((limit * 10)) ] && return 1
    sleep 0.1; i=$((i + 1))
  done
  return 0
}

# A DebugView stand-in where the Linux build looks for it: writes its pid to
# "$dbgview.pid", "captured" into the file after /l, and runs until killed.
install_fake_dbgview() {
  dbgview="${XDG_DATA_HOME:-$HOME/.local/share}/Lumacore/Dbgview"
  mkdir -p "$(dirname "$dbgview")"
  printf '#!/bin/sh\necho $$ > "$0.pid"\necho captured >> "$2"\nexec sleep 300\n' > "$dbgview"
  chmod +x "$dbgview"
}

# Waits up to $2 seconds for a line of the tool's own log ($log) to contain $1.
wait_for_log() {
  local i=0
  until grep -qF -- "$1" "$log" 2>/dev/null; do
    [ $i -ge $(($2 * 10)) ] && fail "the log never showed: $1"
    sleep 0.1; i=$((i + 1))
  done
}

# The right-hand column of the 800 x 470 page of the window at $X, $Y: the
# action button, then CLOSE.
click_action() { xdotool mousemove $((X + 692)) $((Y + 38)) click 1; }
click_close() { xdotool mousemove $((X + 692)) $((Y + 101)) click 1; }

# Clicks the action button every half second until the log shows $1 (at most
# $2 clicks): a click the window was not ready for is simply repeated.
click_action_until() {
  local i=0
  until grep -qF -- "$1" "$log" 2>/dev/null; do
    [ $i -ge "$2" ] && fail "the log never showed: $1"
    click_action; sleep 0.5; i=$((i + 1))
  done
}

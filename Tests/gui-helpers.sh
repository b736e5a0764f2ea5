# Shared by the scripts that drive the real tool under a display.

# Runs the caller again under a virtual display when there is none.
ensure_display() {
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

# Waits up to $2 seconds for process $1 to end (then reap it with wait).
wait_for_exit() {
  local pid=$1 limit=${2:-10} i=0
  while kill -0 "$pid" 2>/dev/null && ! grep -q '^State:.*Z' "/proc/$pid/status" 2>/dev/null; do
    [ $i -ge $((limit * 10)) ] && return 1
    sleep 0.1; i=$((i + 1))
  done
  return 0
}

fail() { echo "FAIL: $*" >&2; exit 1; }

#!/usr/bin/env bash
# A collection by clicks with a large sparse crash dump: while the export runs,
# a screenshot shows the progress bar part-filled under the spinner; after
# Finish the bar is gone.
set -u
. "$(dirname "$0")/gui-helpers.sh"
ensure_display "$@"
exe=$1; out=$2
mkdir -p "$out"

log="$HOME/.config/Lumacore/VORN_X/Triagent.log"
mkdir -p "$(dirname "$log")" "$HOME/Documents/Lumacore/VORN_X" "$XDG_DATA_HOME/CrashDumps"
echo '<config/>' > "$HOME/Documents/Lumacore/VORN_X/config.xml"
# Sparse: no disk space, but the writer reads and compresses every byte.
dump="$XDG_DATA_HOME/CrashDumps/VORN X.exe.4711.dmp"
truncate -s 4G "$dump" || fail "cannot make the sparse dump"
install_fake_dbgview

start_tool "$exe"
wait_for_log "VORN Triagent initialized" 20

# The spinner's cell: the right-hand column between CLOSE and the message log.
cell_x=590; cell_y=135; cell_w=205; cell_h=113

# The bar's fill in per cent in a screenshot, or "none" when no bar is drawn.
# The bar is a rounded strip of the widget background (#263238) with the fill
# (#181f22) from its left end; the percentage text sits on top, so each column
# counts as fill or as bar when any of its pixels has that colour.
bar_percent() {
  convert "$1" -crop "${cell_w}x${cell_h}+${cell_x}+${cell_y}" +repage -depth 8 rgb:- |
    python3 -c '
import sys
w, h = int(sys.argv[1]), int(sys.argv[2])
px = sys.stdin.buffer.read()
near = lambda p, c: all(abs(a - b) <= 3 for a, b in zip(p, c))
fill, bar = (0x18, 0x1f, 0x22), (0x26, 0x32, 0x38)
fill_cols, bar_cols = set(), set()
for y in range(h):
    for x in range(w):
        p = px[(y * w + x) * 3:(y * w + x) * 3 + 3]
        if near(p, fill): fill_cols.add(x)
        elif near(p, bar): bar_cols.add(x)
cols = fill_cols | bar_cols
if len(cols) < w // 2:
    print("none")
else:
    left, right = min(cols), max(cols)
    end = max(fill_cols) if fill_cols else left - 1
    print(round(100 * (end - left + 1) / (right - left + 1)))
' "$cell_w" "$cell_h"
}

click_action_until "Enabling logging" 40
wait_for_log "Please run VORN until issues occur" 20
click_action_until "Collecting system info" 60
wait_for_log "Exporting collected information" 60

# Screenshots every half second until one shows the bar part-filled; the
# export of the dump takes seconds even on a fast machine.
seen=""; i=0
while [ -z "$seen" ] && ! grep -qF "File exported" "$log"; do
  import -window "$wid" "$out/export-progress.png"
  p=$(bar_percent "$out/export-progress.png")
  echo "export: bar at $p"
  if [ "$p" != none ] && [ "$p" -ge 1 ] && [ "$p" -le 99 ]; then seen=$p; fi
  i=$((i + 1)); [ $i -lt 600 ] || break
  [ -n "$seen" ] || sleep 0.5
done
[ -n "$seen" ] || fail "no screenshot during the export showed the bar between 1 % and 99 %"

wait_for_log "Temporary files removed" 300
sleep 0.3                          # let the last closure paint
import -window "$wid" "$out/export-finished.png"
p=$(bar_percent "$out/export-finished.png")
[ "$p" = none ] || fail "after Finish the bar is still there ($p %)"

zip=$(ls "$HOME"/Documents/Lumacore/VORN_LOG_*.zip 2>/dev/null | head -n 1)
[ -n "$zip" ] || fail "no zip in the documents folder"
unzip -Z1 "$zip" | grep -q 'VORN X.exe.4711.dmp$' || fail "the dump is not in the zip"

click_close
wait_for_exit $app 10 || fail "CLOSE did not end the tool"
wait $app; rc=$?
trap - EXIT
[ $rc -eq 0 ] || fail "exit code $rc"
echo "PASS: the bar showed $seen % mid-export and was gone after Finish; screenshots in $out"

#!/usr/bin/env bash
# The window enlarged to 1280 x 1000 under Xvfb: the canvas is pixloupe2d-cli render --size of the
# same view, the bars sit at the new edges (their arrows there step the view), and "jump here" and a
# selection at the far right and bottom name the bytes drawn there. The size is kept for the next run;
# one that no longer fits the screen gives the starting size.
set -euo pipefail
BUILD_DIR=${1:?usage: viewer_resize_e2e.sh BUILD_DIR}
source "$(dirname "$0")/xvfb_lib.sh"
viewer_begin

DATA="$WORK/data.bin"
perl -e 'print pack("C*", map { ($_ * 37 + ($_ >> 7)) & 255 } 0 .. 399999)' >"$DATA"
viewer_start "$DATA"
viewer_shown
viewer_expect_view start "$DATA"
xdotool key ctrl+m
viewer_expect_view multi "$DATA" --multi
echo "ok: 600 x 512 at the start, multi columns on"

client_size() { xwininfo -id "$WINDOW" | awk '/^  Width:/ {w = $2} /^  Height:/ {h = $2} END {print w "x" h}'; }
xdotool windowmove "$WINDOW" 0 0 windowsize "$WINDOW" 1280 1000
pl_until 5 test "$(client_size)" = 1280x1000 || pl_fail "the window is $(client_size), not 1280x1000"
VIEW=1260x910
viewer_expect_view large "$DATA" --multi --size $VIEW
echo "ok: enlarged to 1280 x 1000, the 1260 x 910 canvas is render --size $VIEW ($PL_TMP/large.png)"

# The width bar's right arrow at the new bottom right corner of the view, the row bar's down arrow
# at the right edge just above it.
xdotool mousemove $((CANVAS_X + 1255)) $((CANVAS_Y + 920)) click 1
viewer_expect_view wider "$DATA" --multi --size $VIEW --width 2
xdotool mousemove $((CANVAS_X + 1270)) $((CANVAS_Y + 905)) click 1
viewer_expect_view down "$DATA" --multi --size $VIEW --width 2 --first 2
echo "ok: the width bar's and the row bar's arrows at the new edges step the width and the row"

# The last pixel: byte column 157 (strip 78, byte 1), row 909: row 78 x 910 + 909 below row 1.
xdotool mousemove $((CANVAS_X + 1259)) $((CANVAS_Y + 909)) click 3
pl_until 5 viewer_windows_shown 2 || pl_fail "no \"jump here\" popup"
xdotool key Down Return
JUMP=$(((78 * 910 + 909 + 1) * 2))
viewer_expect_view jumped "$DATA" --multi --size $VIEW --width 2 --first $JUMP
echo "ok: \"jump here\" at the far bottom right puts row $((JUMP / 2)) at the top"
xdotool mousemove $((CANVAS_X + 1250)) $((CANVAS_Y + 900)) mousemove $((CANVAS_X + 1259)) $((CANVAS_Y + 909))
sleep 0.3
import -window root "$PL_TMP/status.png"

# A selection from strip 75 to the bottom right corner: 2 bytes x 30 rows, from row 880 of strip 75,
# which follow each other in the file: the copied lines hold 16 bytes each.
xdotool mousemove $((CANVAS_X + 1200)) $((CANVAS_Y + 880)) mousedown 1
for x in 1210 1230 1250 1259; do xdotool mousemove $((CANVAS_X + x)) $((CANVAS_Y + 909)); sleep 0.05; done
xdotool mouseup 1
FIRST=$((JUMP + (75 * 910 + 880) * 2))
expected=$(printf '%08X  %s' $FIRST "$(od -An -tx1 -j $FIRST -N16 "$DATA" | tr a-f A-F | xargs)")
copied() {
    xdotool key ctrl+shift+c
    sleep 0.2
    [[ "$(xclip -selection clipboard -o 2>/dev/null | head -n 1)" == "$expected" ]]
}
pl_until 5 copied || pl_fail "the selection copied \"$(xclip -selection clipboard -o 2>&1 | head -n 1)\", not \"$expected\""
import -window root "$PL_TMP/selection.png"
echo "ok: the selection at the far bottom right holds bytes $FIRST.. ($PL_TMP/selection.png)"

viewer_quit
viewer_start "$DATA"
viewer_shown
pl_until 5 test "$(client_size)" = 1280x1000 || pl_fail "the next run's window is $(client_size)"
echo "ok: the next run opens at 1280 x 1000"
viewer_quit
grep -q '^window=.* 1280 1000 0$' "$XDG_CONFIG_HOME/pixloupe2d/settings" || pl_fail "no window line kept"
sed -i 's/^window=.*/window=0 0 5000 4000 0/' "$XDG_CONFIG_HOME/pixloupe2d/settings"
viewer_start "$DATA"
viewer_shown
pl_until 5 test "$(client_size)" = 620x602 || pl_fail "a place beyond the screen gives $(client_size)"
viewer_expect_view again "$DATA" --multi
echo "ok: a kept size beyond the screen gives the starting 620 x 602 window (multi columns kept in pl2.ini)"
viewer_quit

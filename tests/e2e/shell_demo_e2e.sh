#!/usr/bin/env bash
# The shell demonstration program under a private X server, driven with xdotool: the canvas
# on screen is exactly its backing image; the wheel arrives as a raw message with its delta;
# shortcuts and a menu-bar item post their menu events; a held arrow key is seen down by the
# key polls and up again after its release.
set -euo pipefail
BUILD_DIR=${1:?usage: shell_demo_e2e.sh BUILD_DIR}
source "$(dirname "$0")/xvfb_lib.sh"

DEMO="$BUILD_DIR/shell/shell-demo"
[[ -x "$DEMO" ]] || pl_fail "no $DEMO"
# PL_E2E_WM=1 runs it under a window manager.
if [[ -n "${PL_E2E_WM:-}" ]]; then pl_start_xvfb --wm; else pl_start_xvfb; fi
OUT="$PL_TMP/out.txt"

"$DEMO" --canvas-ppm "$PL_TMP/canvas.ppm" >"$OUT" 2>"$PL_TMP/err.txt" &
DEMO_PID=$!
pl_on_exit_kill $DEMO_PID
pl_wait_for_line "$OUT" '^ready$' 20 || pl_fail "the demo did not start: $(cat "$PL_TMP/err.txt")"
WINDOW=$(pl_wait_for_window 'Shell demo') || pl_fail "no window"
pl_activate_window "$WINDOW" || pl_fail "the window does not take the keyboard"

# Shortcuts: Ctrl+P also reports where the canvas and the bar items are.
from=$(pl_line_count "$OUT")
xdotool key ctrl+p
pl_wait_for_new_line "$OUT" '^event kind=13101 object=90 ' "$from" || pl_fail "Ctrl+P gave no menu event"
pl_wait_for_new_line "$OUT" '^canvas at ' "$from" || pl_fail "no canvas position"
for shortcut in "ctrl+g 8" "ctrl+1 4" "ctrl+2 5"; do
    set -- $shortcut
    from=$(pl_line_count "$OUT")
    xdotool key "$1"
    pl_wait_for_new_line "$OUT" "^event kind=13101 object=$2 window=0 type=0\$" "$from" ||
        pl_fail "$1 gave no menu event $2"
done
echo "ok: shortcuts"

# The canvas on screen equals the backing image, pixel for pixel.
read -r CANVAS_X CANVAS_Y < <(grep '^canvas at ' "$OUT" | tail -n 1 | awk '{print $3, $4}')
pl_screenshot "$PL_TMP/screen.png"
pl_crop "$PL_TMP/screen.png" "600x512+${CANVAS_X}+${CANVAS_Y}" "$PL_TMP/canvas-on-screen.png"
pl_expect_same_picture "$PL_TMP/canvas-on-screen.png" "$PL_TMP/canvas.ppm" "the canvas on screen and the backing image"
echo "ok: canvas pixels"

# A command item on the bar.
read -r ITEM_X ITEM_Y < <(grep '^bar item 5 at ' "$OUT" | tail -n 1 | awk '{print $5, $6}')
from=$(pl_line_count "$OUT")
xdotool mousemove "$ITEM_X" "$ITEM_Y" click 1
pl_wait_for_new_line "$OUT" '^event kind=13101 object=5 ' "$from" || pl_fail "the bar item gave no menu event"
echo "ok: bar item"

# Wheel notches over the canvas.
xdotool mousemove $((CANVAS_X + 300)) $((CANVAS_Y + 200))
for notch in "4 120" "5 -120"; do
    set -- $notch
    from=$(pl_line_count "$OUT")
    xdotool click "$1"
    pl_wait_for_new_line "$OUT" "^raw 0x20a delta=$2\$" "$from" || pl_fail "wheel button $1 gave no delta $2"
done
echo "ok: wheel"

# A held arrow key repeats; every poll while it is held sees it down, none after its release.
from=$(pl_line_count "$OUT")
xdotool keydown Right
# Held until the fifth key message, however long auto-repeat takes on a busy machine.
for tries in $(seq 300); do
    presses=$(tail -n +"$((from + 1))" "$OUT" | grep -c '^raw 0x100 wparam=0x27$' || true)
    [[ $presses -ge 5 ]] && break
    sleep 0.1
done
xdotool keyup Right
[[ $presses -ge 5 ]] || pl_fail "only $presses key messages while Right was held for 30 seconds"
pl_wait_for_new_line "$OUT" '^raw 0x101 wparam=0x27$' "$from" || pl_fail "no release of Right"
held=$(tail -n +"$((from + 1))" "$OUT" | grep -c '^key right down$' || true)
presses=$(tail -n +"$((from + 1))" "$OUT" | grep -c '^raw 0x100 wparam=0x27$' || true)
[[ $held -ge $presses ]] || pl_fail "Right seen down $held times for $presses key messages"
from=$(pl_line_count "$OUT")
xdotool mousemove_relative 5 5
pl_wait_for_new_line "$OUT" '^raw 0x200 ' "$from" || pl_fail "no mouse move"
sleep 0.2
! tail -n +"$((from + 1))" "$OUT" | grep -q '^key right down$' || pl_fail "Right still seen down after release"
echo "ok: held key ($presses key messages, seen down $held times)"

# Escape held while an event arrives ends the loop.
from=$(pl_line_count "$OUT")
xdotool keydown Escape
pl_wait_for_line "$OUT" '^end$' 10 || pl_fail "Escape did not end the demo"
xdotool keyup Escape
wait $DEMO_PID || pl_fail "the demo ended with status $?"
echo "ok: end"

#!/usr/bin/env bash
# Escape under a private X server: held to close a drop-down menu or the "jump here" popup, or
# held in another window while the pointer crosses the viewer, it leaves the viewer running;
# pressed in the viewer's window it ends it with exit code 0.
set -u
BUILD_DIR=${1:?usage: viewer_keys_e2e.sh BUILD_DIR}
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/viewer_e2e_lib.sh"

viewer_begin
viewer_make_data "$WORK/data.bin" 40000

# window_origin ID: prints the X and Y of the window's top-left corner on the screen.
window_origin() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4} END {print x, y}'
}

visible_windows() {
    xdotool search --onlyvisible --class pixloupe2d 2>/dev/null | wc -l
}

# wait_for_windows COUNT: until the program shows that many windows (its popups included).
wait_for_windows() {
    local tries
    for tries in $(seq 50); do
        [[ "$(visible_windows)" == "$1" ]] && return 0
        sleep 0.1
    done
    return 1
}

# hold_escape_crossing X Y: holds Escape (long enough for the key to repeat) while the pointer
# crosses a row of the screen from X, Y to the right, so that events keep arriving.
hold_escape_crossing() {
    local step
    xdotool keydown Escape
    for step in $(seq 30); do
        xdotool mousemove "$(($1 + step * 10))" "$2"
        sleep 0.03
    done
    xdotool keyup Escape
    sleep 0.3
}

expect_running() {
    kill -0 "$1" 2>/dev/null || pl_fail "$2: the viewer ended: $(viewer_log)"
}

viewer_start_shown "$WORK/data.bin"
read -r X Y < <(window_origin "$WINDOW")

xdotool mousemove $((X + 15)) $((Y + 9)) click 1
wait_for_windows 2 || pl_fail "the File menu did not open"
pl_screenshot "$PL_TMP/menu-open.png"
hold_escape_crossing $((X + 50)) $((Y + 200))
wait_for_windows 1 || pl_fail "Escape did not close the menu"
expect_running "$VIEWER_PID" "Escape closing the File menu"
echo "ok: Escape held to close a drop-down menu leaves the viewer running"

xdotool mousemove $((X + 200)) $((Y + 200)) click 3
wait_for_windows 2 || pl_fail "the jump popup did not open"
hold_escape_crossing $((X + 50)) $((Y + 300))
wait_for_windows 1 || pl_fail "Escape did not close the popup"
expect_running "$VIEWER_PID" "Escape closing the popup"
echo "ok: Escape held to close the \"jump here\" popup leaves the viewer running"

pl_activate_window "$WINDOW"
viewer_quit
echo "ok: Escape in the window ends the viewer with exit code 0"

# The viewer beside a second window of another program, which has the keyboard.
viewer_start "$WORK/data.bin"
FIRST_PID=$VIEWER_PID
FIRST=$(pl_wait_for_window 'Pixloupe 2d,x1') || pl_fail "no viewer: $(viewer_log)"
xdotool windowmove "$FIRST" 660 100
xmessage -name other -title other -geometry 400x200+0+100 "another program" >/dev/null 2>&1 &
pl_on_exit_kill $!
OTHER=$(pl_wait_for_window other) || pl_fail "no second window"
xdotool windowfocus --sync "$OTHER"
sleep 0.5
read -r X Y < <(window_origin "$FIRST")
hold_escape_crossing $((X + 20)) $((Y + 250))
expect_running "$FIRST_PID" "Escape held in another window"
echo "ok: Escape held in another window while the pointer crosses the viewer leaves it running"

xdotool windowfocus --sync "$FIRST"
sleep 0.3
VIEWER_PID=$FIRST_PID
viewer_quit
echo "ok: the viewer still ends with Escape in its window"

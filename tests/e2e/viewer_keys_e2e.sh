#!/usr/bin/env bash
# The viewer in a real window, driven with xdotool: a first argument that looks like a Qt option
# names the data file; a bad settings file gives two "Wrong settings" messages closed with Enter;
# the window's icon; Ctrl+2 and the title; a held Right; Escape held to close a menu and the "jump
# here" popup or in another program's window, then in the viewer's: exit code 0 and the fixed
# settings file. An empty file: "File Read Error", exit code 0.
set -euo pipefail
BUILD_DIR=${1:?usage: viewer_keys_e2e.sh BUILD_DIR}
source "$(dirname "$0")/xvfb_lib.sh"
viewer_begin

# dismiss_message TITLE: waits for the message box and closes it with Enter.
dismiss_message() {
    local id presses
    id=$(pl_wait_for_window "$1") || pl_fail "no message \"$1\": $(viewer_log)"
    pl_activate_window "$id" || pl_fail "\"$1\" does not take the keyboard"
    for presses in 1 2 3; do xdotool key Return && pl_until 3 pl_window_gone "$id" && return 0; done
    pl_fail "Enter did not close \"$1\""
}

DATA="$WORK/-reverse"
perl -e 'print pack("C*", map { ($_ * 37 + ($_ >> 3)) & 255 } 0 .. 4095)' >"$DATA"
printf '[Options]\r\nzoom = 3\r\nInverse = 1\r\nmaxwidth = 0\r\n' >"$WORK/pl2.ini"
viewer_start -reverse -platform notes.txt
dismiss_message 'Wrong settings'
dismiss_message 'Wrong settings'
viewer_shown
viewer_expect_view start "$DATA" --width 1 --inverse
echo "ok: two \"Wrong settings\" messages; -reverse is shown inverted, not mirrored ($PL_TMP/start.png)"

icon=$(xprop -id "$WINDOW" _NET_WM_ICON 2>&1 | grep -oE 'Icon \([0-9]+ x [0-9]+\)' | tr '\n' ' ')
for size in 16 32 48; do grep -q "Icon ($size x $size)" <<<"$icon" || pl_fail "no $size px icon: $icon"; done
echo "ok: the window carries the program's icon: $icon"

xdotool key ctrl+2
pl_wait_for_window 'Pixloupe 2d,x2' >/dev/null || pl_fail "Ctrl+2 did not change the title"
viewer_expect_view zoom2 "$DATA" --width 1 --zoom 2 --inverse
echo "ok: Ctrl+2 zooms and the title reads Pixloupe 2d,x2"

# Held for a second, Right steps the width once per key message the platform repeats.
seq 2 40 | xargs -I{} "$BUILD_DIR/viewer/pixloupe2d-cli" render "$DATA" "$PL_TMP/w{}.png" --width {} --zoom 2 --inverse
xdotool keydown Right
sleep 1
xdotool keyup Right
widened() {
    WIDTH=2
    viewer_canvas_is right "$PL_TMP/w2.png" && return 0
    for WIDTH in $(seq 3 40); do
        pl_differing_pixels "$PL_TMP/right-canvas.png" "$PL_TMP/w$WIDTH.png"
        [[ $PL_DIFFERING == 0 ]] && return 0
    done
    return 1
}
pl_until 5 widened || pl_fail "after holding Right the view has no width from 2 to 40"
echo "ok: holding Right widened the rows to $WIDTH bytes"

# hold_escape WHERE [ROW]: Escape held long enough to repeat, while the pointer crossing the window
# (at ROW, 200 unless given) keeps events coming, leaves the viewer running with just its window shown.
hold_escape() {
    xdotool keydown Escape
    for step in $(seq 30); do xdotool mousemove "$((X + 50 + step * 10))" "$((Y + ${2:-200}))" && sleep 0.03; done
    xdotool keyup Escape
    pl_until 5 viewer_windows_shown 1 || pl_fail "Escape held in $1: the viewer shows not just its window"
    sleep 0.3
    kill -0 "$VIEWER_PID" 2>/dev/null || pl_fail "Escape held in $1 ended the viewer: $(viewer_log)"
    echo "ok: Escape held in $1 leaves the viewer running"
}
read -r X Y < <(pl_window_origin "$WINDOW")
# Opened at X+DX, Y+DY with BUTTON; the pointer crosses row Y+CROSS while Escape is held.
for opened in "File menu:15 9 1 200" '"jump here" popup:200 200 3 300'; do
    read -r DX DY BUTTON CROSS <<<"${opened#*:}"
    xdotool mousemove $((X + DX)) $((Y + DY)) click "$BUTTON"
    pl_until 5 viewer_windows_shown 2 || pl_fail "the ${opened%:*} did not open"
    hold_escape "the ${opened%:*}" "$CROSS"
done
xmessage -name other -geometry 300x100-0-0 "another program" >/dev/null 2>&1 &
pl_on_exit_kill $!
pl_activate_window "$(pl_wait_for_window other)" || pl_fail "the other window does not take the keyboard"
hold_escape "another program's window"

viewer_keyboard_back
viewer_quit
printf '[Options]\r\nZoom = 2\r\nMulti = 0\r\nGrid = 0\r\nInverse = 1\r\nReverse = 0\r\nmaxwidth = 75\r\nontop = 0\r\n' \
    >"$PL_TMP/expected.ini"
cmp "$WORK/pl2.ini" "$PL_TMP/expected.ini" || pl_fail "pl2.ini after Escape: $(od -c "$WORK/pl2.ini" | head)"
echo "ok: Escape ends with exit code 0 and writes the eight settings lines, fixed"

printf '[Options]\r\nZoom = 4\r\n' >"$WORK/pl2.ini"
cp "$WORK/pl2.ini" "$PL_TMP/before.ini"
: >"$WORK/empty.bin"
viewer_start empty.bin
dismiss_message 'File Read Error'
viewer_wait_exit
cmp "$WORK/pl2.ini" "$PL_TMP/before.ini" || pl_fail "the settings were written after a failed load"
echo "ok: an empty data file shows \"File Read Error\" and ends with exit code 0, settings untouched"

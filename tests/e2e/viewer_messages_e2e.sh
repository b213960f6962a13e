#!/usr/bin/env bash
# The viewer's messages under a private X server: a bad settings file gives its two "Wrong
# settings" messages, which Enter dismisses, and the fixed values are written at the end; an
# empty data file gives "File Read Error" and the program ends without touching the settings.
set -euo pipefail
BUILD_DIR=${1:?usage: viewer_messages_e2e.sh BUILD_DIR}
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/viewer_e2e_lib.sh"

viewer_begin

# dismiss_message TITLE: waits for the message box and closes it with Enter.
dismiss_message() {
    local id
    id=$(pl_wait_for_window "$1") || pl_fail "no message \"$1\": $(viewer_log)"
    pl_activate_window "$id" || pl_fail "\"$1\" does not take the keyboard"
    pl_screenshot "$PL_TMP/$2.png"
    local presses tries
    for presses in 1 2 3; do
        xdotool key Return
        for tries in $(seq 30); do
            xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -qx "$id" || return 0
            sleep 0.1
        done
    done
    pl_fail "Enter did not close \"$1\""
}

printf '[Options]\r\nzoom = 3\r\nmaxwidth = 0\r\n' >"$WORK/pl2.ini"
viewer_start
dismiss_message 'Wrong settings' zoom-message
dismiss_message 'Wrong settings' width-message
WINDOW=$(pl_wait_for_window 'Pixloupe 2d') || pl_fail "no main window after the messages"
pl_activate_window "$WINDOW" || pl_fail "the main window does not take the keyboard"
viewer_quit
printf '[Options]\r\nZoom = 1\r\nMulti = 0\r\nGrid = 0\r\nInverse = 0\r\nReverse = 0\r\nmaxwidth = 75\r\nontop = 0\r\n' \
    >"$PL_TMP/expected.ini"
cmp "$WORK/pl2.ini" "$PL_TMP/expected.ini" || pl_fail "pl2.ini after the fixes: $(od -c "$WORK/pl2.ini" | head)"
echo "ok: a bad settings file gives two \"Wrong settings\" messages and the fixed values are kept"

printf '[Options]\r\nZoom = 4\r\n' >"$WORK/pl2.ini"
cp "$WORK/pl2.ini" "$PL_TMP/before.ini"
: >"$WORK/empty.bin"
viewer_start "$WORK/empty.bin"
dismiss_message 'File Read Error' read-error
viewer_wait_exit
cmp "$WORK/pl2.ini" "$PL_TMP/before.ini" || pl_fail "the settings were written after a failed load"
echo "ok: an empty data file shows \"File Read Error\" and ends with exit code 0, settings untouched"

#!/usr/bin/env bash
# The viewer under a private X server, driven with xdotool: started with a data file and a
# settings file, its canvas shows exactly the picture worked out from the bytes; Ctrl+2 zooms
# and names the zoom in the title; holding Right widens the rows; Escape ends it with exit
# code 0 and leaves the settings file of eight CR LF lines.
set -euo pipefail
BUILD_DIR=${1:?usage: viewer_view_e2e.sh BUILD_DIR}
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/viewer_e2e_lib.sh"

viewer_begin
viewer_make_data "$WORK/data.bin" 4096
# Inverse on, from the settings.
printf '[Options]\r\nZoom = 1\r\nInverse = 1\r\nmaxwidth = 100\r\n' >"$WORK/pl2.ini"

viewer_start_shown "$WORK/data.bin"

viewer_expect_view start "$WORK/data.bin" 1 1 0 1
echo "ok: the canvas shows the bytes of the command-line file, inverted as the settings say"

xdotool key ctrl+2
pl_wait_for_window 'Pixloupe 2d,x2' >/dev/null || pl_fail "Ctrl+2 did not change the title"
viewer_expect_view zoom2 "$WORK/data.bin" 1 2 0 1
echo "ok: Ctrl+2 zooms and the title reads Pixloupe 2d,x2"

# Held for a second, Right steps the width once per key message.
xdotool keydown Right
sleep 1
xdotool keyup Right
WIDTH=$(viewer_find_width "$WORK/data.bin" 2 0 1 2 60) || pl_fail "the picture matches no width after holding Right"
echo "ok: holding Right widened the rows to $WIDTH bytes"

viewer_quit
printf '[Options]\r\nZoom = 2\r\nMulti = 0\r\nGrid = 0\r\nInverse = 1\r\nReverse = 0\r\nmaxwidth = 100\r\nontop = 0\r\n' \
    >"$WORK/expected.ini"
cmp "$WORK/pl2.ini" "$WORK/expected.ini" || pl_fail "pl2.ini after Escape: $(od -c "$WORK/pl2.ini" | head)"
echo "ok: Escape ends with exit code 0 and writes the eight settings lines"

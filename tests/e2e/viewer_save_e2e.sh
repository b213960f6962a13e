#!/usr/bin/env bash
# "Save binary..." and "Save image..." of the viewer under a private X server, chosen from the
# File menu and answered through their dialogs with the keyboard: the byte range is written
# with the inverse applied, and the picture holds exactly the view worked out from the data.
set -euo pipefail
BUILD_DIR=${1:?usage: viewer_save_e2e.sh BUILD_DIR}
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/viewer_e2e_lib.sh"

viewer_begin
viewer_make_data "$WORK/data.bin" 4096
printf '[Options]\r\nInverse = 1\r\n' >"$WORK/pl2.ini"

viewer_start_shown "$WORK/data.bin"
viewer_expect_view start "$WORK/data.bin" 1 1 0 1

# click_for_popup X Y: clicks there and waits for the popup (a window of its own) that the
# click opens; keys sent before it shows would go elsewhere.
click_for_popup() {
    local before tries
    before=$(xdotool search --onlyvisible --name '' | sort)
    xdotool mousemove "$1" "$2" click 1
    for tries in $(seq 50); do
        [[ -n "$(comm -13 <(echo "$before") <(xdotool search --onlyvisible --name '' | sort))" ]] && return 0
        sleep 0.1
    done
    pl_fail "the click at $1,$2 opened nothing"
}

# file_menu_item DOWNS TITLE: opens "File" with the mouse, steps down to the item and waits
# for the requester it opens.
file_menu_item() {
    local geometry x y step
    geometry=$(xwininfo -id "$WINDOW")
    x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$geometry")
    y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$geometry")
    # "File" is the first title of the menu bar, just above the canvas.
    click_for_popup "$((x + 15))" "$(((y + CANVAS_Y) / 2))"
    for step in $(seq "$1"); do
        xdotool key Down
    done
    xdotool key Return
    REQUESTER=$(pl_wait_for_window "$2") || pl_fail "the File menu item $1 opened no \"$2\""
    pl_activate_window "$REQUESTER" || pl_fail "\"$2\" does not take the keyboard"
}

# wait_for_file NAME: the writers rename a complete file into place, so it is whole once there.
wait_for_file() {
    local tries
    for tries in $(seq 100); do
        [[ -s "$1" ]] && return 0
        sleep 0.1
    done
    pl_fail "no file $1"
}

file_menu_item 2 'size'
pl_screenshot "$PL_TMP/size.png"
xdotool key ctrl+a
xdotool type --delay 20 '$12C'
xdotool key Return
pl_wait_for_window 'Please choose file to save' >/dev/null || pl_fail "no save dialog after the size"
sleep 0.3
xdotool type --delay 20 'range'
xdotool key Return
wait_for_file "$WORK/range.bin"
# $12C = 300 bytes from the first byte of the view, each XOR 0xFF.
perl -e 'read(STDIN, my $d, 300); print $d ^ ("\xFF" x length($d))' <"$WORK/data.bin" >"$PL_TMP/range.expected"
cmp "$WORK/range.bin" "$PL_TMP/range.expected" || pl_fail "range.bin holds other bytes"
echo "ok: Save binary... writes 300 inverted bytes to range.bin"

file_menu_item 3 'Please choose file to save'
pl_screenshot "$PL_TMP/save-image.png"
# The dialog proposes the loaded file's name with ".png" added, in its folder, with the PNG type.
xdotool key Return
wait_for_file "$WORK/data.bin.png"
[[ "$(head -c 8 "$WORK/data.bin.png" | od -An -tx1 | tr -d ' \n')" == 89504e470d0a1a0a ]] ||
    pl_fail "data.bin.png is no PNG file"
pl_expect_same_picture "$WORK/data.bin.png" "$PL_TMP/start-expected.ppm" "data.bin.png and the view"
echo "ok: Save image... writes the view to data.bin.png"

# choose_bitmap_type: picks the second type, Bitmap, in the open save dialog with the mouse and
# the keyboard.
choose_bitmap_type() {
    local geometry x y width height
    geometry=$(xwininfo -id "$REQUESTER")
    x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$geometry")
    y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$geometry")
    width=$(awk '/Width:/ {print $2}' <<<"$geometry")
    height=$(awk '/Height:/ {print $2}' <<<"$geometry")
    # "Files of type" is the last row of the dialog; its list opens on a click.
    click_for_popup "$((x + width / 2))" "$((y + height - 24))"
    xdotool key Down Return
    sleep 0.2
}

# Another type with the proposed name kept: the proposal takes the Bitmap extension instead.
file_menu_item 3 'Please choose file to save'
choose_bitmap_type
xdotool key Return
wait_for_file "$WORK/data.bin.bmp"
[[ "$(head -c 2 "$WORK/data.bin.bmp")" == BM ]] || pl_fail "data.bin.bmp is no BMP file"
[[ ! -e "$WORK/data.bmp" ]] || pl_fail "the dialog renamed the proposed data.bin to data.bmp"
echo "ok: with the Bitmap type the proposed name gives data.bin.bmp"

# The type chosen in the dialog decides the format: Bitmap, and a typed name without extension.
file_menu_item 3 'Please choose file to save'
choose_bitmap_type
pl_screenshot "$PL_TMP/save-bitmap.png"
xdotool key alt+n ctrl+a
xdotool type --delay 20 'shot'
xdotool key Return
wait_for_file "$WORK/shot.bmp"
[[ "$(head -c 2 "$WORK/shot.bmp")" == BM ]] || pl_fail "shot.bmp is no BMP file"
pl_expect_same_picture "$WORK/shot.bmp" "$PL_TMP/start-expected.ppm" "shot.bmp and the view"
echo "ok: with the Bitmap type Save image... writes shot.bmp"

viewer_quit
echo "ok: the viewer ends with exit code 0"

#!/usr/bin/env bash
# The viewer's dialogs answered by typing, on a real ZX Spectrum ROM in a real window: "Go to
# offset", a dragged letter saved with Ctrl+E, the page keys, "Save binary..." with its typed
# length and "Save image..." under the proposed name, both chosen from the File menu.
set -euo pipefail
BUILD_DIR=${1:?usage: viewer_dialogs_e2e.sh BUILD_DIR}
source "$(dirname "$0")/xvfb_lib.sh"

ROM=/usr/share/spectrum-roms/opense.rom
[[ -r "$ROM" ]] || pl_fail "no $ROM: install the package opense-basic (scripts/install-deps.sh test)"
viewer_begin
cp "$ROM" "$WORK/zx.rom"
viewer_start zx.rom
viewer_shown
viewer_expect_view start "$WORK/zx.rom"

xdotool key ctrl+j
viewer_answer 'Go to offset' '$3D00'
viewer_expect_view charset "$WORK/zx.rom" --first '$3D00'
echo "ok: Ctrl+J and \$3D00 show the character set at the top-left ($PL_TMP/charset-canvas.png)"

viewer_save_letter_a
"$BUILD_DIR/viewer/pixloupe2d-cli" sprite "$WORK/zx.rom" "$PL_TMP/letter.png" --first '$3E08' --width 1 --rows 8
pl_differing_pixels "$WORK/letter.png" "$PL_TMP/letter.png"
[[ $PL_DIFFERING == 0 ]] || pl_fail "letter.png is not the letter at \$3E08: $PL_DIFFERING pixels differ"
echo "ok: the dragged selection saved through the dialog is the 8 x 8 letter"

# The program reads the key state when the press arrives: a key is held as a user holds it.
viewer_keyboard_back
for key_first in End:15872 Home:0 Next:512; do
    xdotool keydown "${key_first%:*}"
    sleep 0.2
    xdotool keyup "${key_first%:*}"
    viewer_expect_view "${key_first%:*}" "$WORK/zx.rom" --first "${key_first#*:}"
done
echo "ok: End fills the view up to the last byte; Home and Page Down go to the first byte and the next 512 rows"

# file_menu_item DOWNS: opens "File" (the first title of the menu bar, just above the canvas)
# with the mouse and chooses the item DOWNS steps down.
file_menu_item() {
    local x y
    read -r x y < <(pl_window_origin "$WINDOW")
    xdotool mousemove "$((x + 15))" "$(((y + CANVAS_Y) / 2))" click 1
    pl_until 5 viewer_windows_shown 2 || pl_fail "the File menu did not open"
    xdotool key --repeat "$1" Down
    xdotool key Return
}

file_menu_item 2
viewer_answer 'size' '$12C'
viewer_answer 'Please choose file to save' range alt+n
pl_wait_for_file "$WORK/range.bin"
# $12C = 300 bytes from the first byte of the view.
[[ $(stat -c %s "$WORK/range.bin") == 300 ]] && cmp -i 512:0 -n 300 "$WORK/zx.rom" "$WORK/range.bin" ||
    pl_fail "range.bin holds other bytes ($(stat -c %s "$WORK/range.bin") of them)"
echo "ok: Save binary... writes the 300 bytes from the view's first byte to range.bin"

file_menu_item 3
viewer_answer 'Please choose file to save'
pl_wait_for_file "$WORK/zx.rom.png"
pl_differing_pixels "$WORK/zx.rom.png" "$PL_TMP/Next-expected.png"
[[ $PL_DIFFERING == 0 ]] || pl_fail "zx.rom.png is not the view: $PL_DIFFERING pixels differ"
echo "ok: Save image... writes the view to the proposed zx.rom.png"

viewer_quit
echo "ok: the viewer ends with exit code 0"

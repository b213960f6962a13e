#!/usr/bin/env bash
# "Go to offset..." and a selection saved as a picture, on a real ZX Spectrum ROM under a
# private X server: Ctrl+J and "$3D00" bring its character set to the top-left of the view,
# a drag over the letter "A" saved through the dialog gives that letter as 8 x 8 pixels, and
# the page keys move the view.
set -euo pipefail
BUILD_DIR=${1:?usage: viewer_navigate_e2e.sh BUILD_DIR}
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/viewer_e2e_lib.sh"

ROM=/usr/share/spectrum-roms/opense.rom
[[ -r "$ROM" ]] || pl_fail "no $ROM: install the package opense-basic (scripts/install-deps.sh test)"

viewer_begin
cp "$ROM" "$WORK/zx.rom"
viewer_start_shown "$WORK/zx.rom"
viewer_expect_view start "$WORK/zx.rom" 1 1 0 0

xdotool key ctrl+j
REQUESTER=$(pl_wait_for_window 'Go to offset') || pl_fail "Ctrl+J opened no \"Go to offset\""
pl_activate_window "$REQUESTER" || pl_fail "\"Go to offset\" does not take the keyboard"
xdotool key ctrl+a
xdotool type --delay 20 '$3D00'
xdotool key Return
# $3D00 = 15616: the view starts there, one byte per row.
viewer_expect_view charset "$WORK/zx.rom" 1 1 15616 0
echo "ok: Ctrl+J and \$3D00 show the character set at the top-left ($PL_TMP/charset-canvas.png)"

# "A" is character 65, the 34th from the space at $3D00: rows 264 to 271 of the view.
xdotool mousemove "$((CANVAS_X + 2))" "$((CANVAS_Y + 264))" mousedown 1
for y in 266 268 271; do
    xdotool mousemove "$((CANVAS_X + 5))" "$((CANVAS_Y + y))"
    sleep 0.1
done
xdotool mouseup 1
sleep 0.3
viewer_shot selected
echo "ok: the drag framed the letter ($PL_TMP/selected-canvas.png)"

xdotool key ctrl+e
REQUESTER=$(pl_wait_for_window 'Please choose file to save') || pl_fail "Ctrl+E opened no save dialog"
pl_activate_window "$REQUESTER" || pl_fail "the save dialog does not take the keyboard"
sleep 0.3
xdotool key alt+n ctrl+a
xdotool type --delay 20 'letter'
xdotool key Return
for _ in $(seq 100); do
    [[ -s "$WORK/letter.png" ]] && break
    sleep 0.1
done
[[ -s "$WORK/letter.png" ]] || pl_fail "no letter.png"
SIZE=$(pl_picture_size "$WORK/letter.png")
[[ "$SIZE" == 8x8 ]] || pl_fail "letter.png is $SIZE, not 8 x 8"
# The eight bytes of the letter, worked out here: a set bit is white, a clear one black.
perl -e 'open(my $f, "<:raw", $ARGV[0]) or die; seek($f, 0x3D00 + 33 * 8, 0); read($f, my $d, 8);
    print "P6\n8 8\n255\n", map { my $b = $_; map { (($b >> (7 - $_)) & 1) ? "\xFF\xFF\xFF" : "\0\0\0" } 0 .. 7 }
    unpack("C*", $d)' "$WORK/zx.rom" >"$PL_TMP/letter-expected.ppm"
pl_expect_same_picture "$WORK/letter.png" "$PL_TMP/letter-expected.ppm" "letter.png against the letter at \$3E08"
convert "$WORK/letter.png" -scale 1600% "$PL_TMP/letter-16x.png" || pl_fail "cannot enlarge letter.png"
echo "ok: the selection saved through the dialog is the 8 x 8 letter ($PL_TMP/letter-16x.png)"

# The program reads the key state when the press arrives: a key is held as a user holds it.
press_key() {
    xdotool keydown "$1"
    sleep 0.2
    xdotool keyup "$1"
}
press_key End
viewer_expect_view end "$WORK/zx.rom" 1 1 16383 0
press_key Home
viewer_expect_view home "$WORK/zx.rom" 1 1 0 0
press_key Next
viewer_expect_view page-down "$WORK/zx.rom" 1 1 512 0
echo "ok: End, Home and Page Down go to the last row, the first byte and the next 512 rows"

viewer_quit
echo "ok: the viewer ends with exit code 0"

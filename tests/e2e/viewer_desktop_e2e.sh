#!/usr/bin/env bash
# The viewer as a desktop starts it, under a window manager: the first argument names the
# data file even when it looks like an option of Qt or of the program; the window carries
# the program's icon; and with QT_SCALE_FACTOR=2 the window is twice as large and every
# pixel of the view is a sharp 2 x 2 square.
set -euo pipefail
BUILD_DIR=${1:?usage: viewer_desktop_e2e.sh BUILD_DIR}
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/viewer_e2e_lib.sh"

# Room for the window at twice its size.
export PL_XVFB_SCREEN=1600x1400x24
pl_start_xvfb --wm
WORK="$PL_TMP/work"
mkdir -p "$WORK"

# window_corner: "X Y", the top-left corner of WINDOW's client area on the screen.
window_corner() {
    xwininfo -id "$WINDOW" | awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4} END {print x, y}'
}

# Arguments, the first being the name of a file in the current directory. The canvas lies
# below the menu bar, MENU_HEIGHT pixels below the client area's top, found the first time.
MENU_HEIGHT=""
ROWS=("-reverse" "-platform notes.txt" "--version")
for row in "${ROWS[@]}"; do
    read -r -a arguments <<<"$row"
    name=${arguments[0]}
    rm -f "$WORK"/-* "$WORK/pl2.ini"
    viewer_make_data "$WORK/$name" 2048
    viewer_start "${arguments[@]}"
    WINDOW=$(pl_wait_for_window 'Pixloupe 2d,x1') || pl_fail "pixloupe2d $row: no window: $(viewer_log)"
    pl_activate_window "$WINDOW" || pl_fail "pixloupe2d $row: the window does not take the keyboard"
    read -r x y < <(window_corner)
    if [[ -n "$MENU_HEIGHT" ]]; then
        CANVAS_X=$x
        CANVAS_Y=$((y + MENU_HEIGHT))
    fi
    viewer_expect_view "arguments" "$WORK/$name" 1 1 0 0
    MENU_HEIGHT=$((CANVAS_Y - y))
    viewer_quit
    echo "ok: pixloupe2d $row loads the file named $name, laid out from left to right"
done

viewer_make_data "$WORK/data.bin" 4096
rm -f "$WORK/pl2.ini"
viewer_start "$WORK/data.bin"
WINDOW=$(pl_wait_for_window 'Pixloupe 2d,x1') || pl_fail "no window: $(viewer_log)"
icon=$(xprop -id "$WINDOW" _NET_WM_ICON 2>&1 | grep -oE 'Icon \([0-9]+ x [0-9]+\)' | tr '\n' ' ')
for size in 16 32 48; do
    grep -q "Icon ($size x $size)" <<<"$icon" || pl_fail "the window's icon has no $size x $size picture: $icon"
done
pl_activate_window "$WINDOW" || pl_fail "the window does not take the keyboard"
viewer_quit
echo "ok: the window carries the program's icon: $icon"

export QT_SCALE_FACTOR=2
viewer_start "$WORK/data.bin"
WINDOW=$(pl_wait_for_window 'Pixloupe 2d,x1') || pl_fail "no window at scale 2: $(viewer_log)"
unset QT_SCALE_FACTOR
geometry=$(xwininfo -id "$WINDOW")
width=$(awk '/^ *Width:/ {print $2}' <<<"$geometry")
height=$(awk '/^ *Height:/ {print $2}' <<<"$geometry")
[[ "$width" == 1240 && "$height" == 1204 ]] || pl_fail "at scale 2 the window is $width x $height, not 1240 x 1204"
# Every view pixel is a 2 x 2 square of exactly its colour: no smoothing anywhere.
perl "$HERE/viewer_binary_view.pl" "$WORK/data.bin" "$PL_TMP/view.ppm" 1 1 0 0 || pl_fail "no expected picture"
convert "$PL_TMP/view.ppm" -sample 200% "$PL_TMP/view2.png"
# Qt scales the menu bar too.
read -r x y < <(window_corner)
found=""
for tries in $(seq 20); do
    pl_screenshot "$PL_TMP/scaled.png"
    convert "$PL_TMP/scaled.png" -crop "1200x1024+${x}+$((y + 2 * MENU_HEIGHT))" +repage "$PL_TMP/scaled-canvas.png"
    pl_differing_pixels "$PL_TMP/scaled-canvas.png" "$PL_TMP/view2.png"
    if [[ $PL_DIFFERING == 0 ]]; then
        found=1
        break
    fi
    sleep 0.25
done
[[ -n "$found" ]] || pl_fail "at scale 2 the view is nowhere the expected sharp picture (PL_KEEP_TMP=1 keeps it)"
pl_activate_window "$WINDOW" || pl_fail "the window does not take the keyboard at scale 2"
viewer_quit
echo "ok: at QT_SCALE_FACTOR=2 the window is 1240 x 1204 and the view's pixels are sharp 2 x 2 squares"

# Helpers for the viewer's end-to-end tests, on top of xvfb_lib.sh: starting the viewer in a
# folder of its own, finding its canvas on the screen, checking the canvas against a picture
# worked out from the data, and ending it with Escape.
# Needs BUILD_DIR and HERE (the folder of the test scripts) set by the caller.

source "$HERE/xvfb_lib.sh"

VIEWER="$BUILD_DIR/viewer/pixloupe2d"
VIEWER_CLI="$BUILD_DIR/viewer/pixloupe2d-cli"
[[ -x "$VIEWER" ]] || pl_fail "no $VIEWER"
[[ -x "$VIEWER_CLI" ]] || pl_fail "no $VIEWER_CLI"
VIEWER_PID=""
CANVAS_X=""
CANVAS_Y=""
WORK=""

# Starts the X server and makes WORK, the viewer's current directory, where pl2.ini lives.
viewer_begin() {
    pl_start_xvfb
    WORK="$PL_TMP/work"
    mkdir -p "$WORK"
}

# viewer_make_data FILE LENGTH: bytes that make a busy, irregular picture.
viewer_make_data() {
    perl -e 'print pack("C*", map { ($_ * 37 + ($_ >> 3)) & 255 } 0 .. $ARGV[0] - 1)' "$2" >"$1"
}

# viewer_start ARGUMENTS...: runs the viewer in the work folder.
viewer_start() {
    (cd "$WORK" && exec "$VIEWER" "$@") >"$PL_TMP/viewer.out" 2>"$PL_TMP/viewer.err" &
    VIEWER_PID=$!
    pl_on_exit_kill "$VIEWER_PID"
}

# viewer_start_shown DATA: starts the viewer on DATA and waits until its first render is on
# the screen and the window (WINDOW) has the keyboard.
viewer_start_shown() {
    viewer_start "$1"
    WINDOW=$(pl_wait_for_window 'Pixloupe 2d,x1') || pl_fail "no window with the first render: $(viewer_log)"
    pl_activate_window "$WINDOW" || pl_fail "the window does not take the keyboard"
}

viewer_log() {
    tail -n 20 "$PL_TMP/viewer.err" 2>/dev/null | tr '\n' ' '
}

# viewer_shot NAME: a screenshot of the whole screen and the canvas cut out of it (NAME.png
# and NAME-canvas.png in PL_TMP); finds the canvas on the first call.
viewer_shot() {
    pl_screenshot "$PL_TMP/$1.png"
    pl_crop "$PL_TMP/$1.png" "600x512+${CANVAS_X}+${CANVAS_Y}" "$PL_TMP/$1-canvas.png"
}

# viewer_find_canvas EXPECTED: the canvas lies at the window's left edge below the menu bar,
# whose height is the platform's: look for the expected picture there.
viewer_find_canvas() {
    local expected=$1 geometry x y dy
    geometry=$(xwininfo -id "$WINDOW")
    x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$geometry")
    y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$geometry")
    pl_screenshot "$PL_TMP/find.png"
    for dy in $(seq 0 60); do
        pl_crop "$PL_TMP/find.png" "600x512+${x}+$((y + dy))" "$PL_TMP/find-canvas.png"
        pl_differing_pixels "$PL_TMP/find-canvas.png" "$expected"
        if [[ $PL_DIFFERING == 0 ]]; then
            CANVAS_X=$x
            CANVAS_Y=$((y + dy))
            return 0
        fi
    done
    return 1
}

# viewer_expect_view NAME DATA WIDTH ZOOM FIRST INVERSE: the canvas shows, within a few
# seconds, exactly the Binary view worked out from the data.
viewer_expect_view() {
    local name=$1 expected="$PL_TMP/$1-expected.ppm" tries
    perl "$HERE/viewer_binary_view.pl" "$2" "$expected" "$3" "$4" "$5" "$6" || pl_fail "no expected picture"
    if [[ -z "$CANVAS_X" ]]; then
        for tries in $(seq 20); do
            viewer_find_canvas "$expected" && break
            sleep 0.25
        done
        [[ -n "$CANVAS_X" ]] || pl_fail "$name: the expected picture is nowhere below the window's top"
    fi
    for tries in $(seq 20); do
        viewer_shot "$name"
        pl_differing_pixels "$PL_TMP/$name-canvas.png" "$expected"
        [[ $PL_DIFFERING == 0 ]] && return 0
        sleep 0.25
    done
    pl_fail "$name: $PL_DIFFERING canvas pixels differ from the expected picture (PL_KEEP_TMP=1 keeps them)"
}

# viewer_find_width DATA ZOOM FIRST INVERSE FROM TO: prints the width whose Binary view the
# canvas shows, once two screenshots in a row agree.
viewer_find_width() {
    local data=$1 zoom=$2 first=$3 inverse=$4 from=$5 to=$6 tries width found previous=""
    local options=(--zoom "$zoom" --first "$first")
    [[ "$inverse" == 1 ]] && options+=(--inverse)
    for width in $(seq "$from" "$to"); do
        "$VIEWER_CLI" render "$data" "$PL_TMP/width-$width.png" --width "$width" "${options[@]}" ||
            pl_fail "pixloupe2d-cli render failed"
    done
    for tries in $(seq 20); do
        viewer_shot width
        found=""
        for width in $(seq "$from" "$to"); do
            pl_differing_pixels "$PL_TMP/width-canvas.png" "$PL_TMP/width-$width.png"
            if [[ $PL_DIFFERING == 0 ]]; then
                found=$width
                break
            fi
        done
        if [[ -n "$found" && "$found" == "$previous" ]]; then
            # The same view worked out independently of the program's own drawing.
            perl "$HERE/viewer_binary_view.pl" "$data" "$PL_TMP/width-expected.ppm" "$found" "$zoom" "$first" \
                "$inverse" || return 1
            pl_differing_pixels "$PL_TMP/width-canvas.png" "$PL_TMP/width-expected.ppm"
            [[ $PL_DIFFERING == 0 ]] || return 1
            echo "$found"
            return 0
        fi
        previous=$found
        sleep 0.25
    done
    return 1
}

# viewer_wait_exit: waits for the viewer to end and fails unless its exit code is 0.
viewer_wait_exit() {
    local status=0
    wait "$VIEWER_PID" || status=$?
    [[ $status == 0 ]] || pl_fail "the viewer ended with exit code $status: $(viewer_log)"
}

# viewer_quit: Escape, held until the viewer has ended, as a user holds it.
viewer_quit() {
    xdotool keydown Escape
    viewer_wait_exit
    xdotool keyup Escape
}

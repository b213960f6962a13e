# Shared by the end-to-end tests (sourced, under "set -euo pipefail"): a private X server, screen
# pictures compared pixel for pixel, and the viewer started, checked and ended. Everything started
# here is stopped and PL_TMP removed at exit (PL_KEEP_TMP=1 keeps it for a look at screenshots).

PL_TMP=""
PL_PIDS=()

pl_fail() { echo "FAIL: $*" >&2; exit 1; }

pl_cleanup() {
    local pid
    for pid in "${PL_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${PL_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
    [[ -z "$PL_TMP" || -n "${PL_KEEP_TMP:-}" ]] || rm -rf "$PL_TMP"
}
trap pl_cleanup EXIT
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR

pl_on_exit_kill() { PL_PIDS=("$1" "${PL_PIDS[@]}"); }

# pl_until SECONDS COMMAND...: true as soon as the command succeeds, polled every 0.1 s.
pl_until() {
    local tries
    for tries in $(seq $(($1 * 10))); do
        "${@:2}" && return 0
        sleep 0.1
    done
    return 1
}

# -noreset: otherwise the server resets whenever its last client leaves and refuses connections.
# No display number: the server takes the first free one and writes it to fd 3, so tests that run
# at the same time never ask for the same display (a number picked at random sometimes did).
pl_start_xvfb() {
    command -v Xvfb >/dev/null || pl_fail "Xvfb is not installed"
    PL_TMP=$(mktemp -d "${TMPDIR:-/tmp}/pl-e2e.XXXXXX")
    mkdir -p "$PL_TMP/config" "$PL_TMP/cache" "$PL_TMP/runtime"
    chmod 700 "$PL_TMP/runtime"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
        3>"$PL_TMP/display" 2>"$PL_TMP/xvfb.log" &
    pl_on_exit_kill $!
    pl_until 10 test -s "$PL_TMP/display" || pl_fail "Xvfb did not start: $(cat "$PL_TMP/xvfb.log")"
    export DISPLAY=":$(tr -d '[:space:]' <"$PL_TMP/display")"
    pl_until 10 xdpyinfo >/dev/null 2>&1 || pl_fail "display $DISPLAY does not answer"
    export QT_QPA_PLATFORM=xcb
    export XDG_CONFIG_HOME="$PL_TMP/config" XDG_CACHE_HOME="$PL_TMP/cache" XDG_RUNTIME_DIR="$PL_TMP/runtime"
}

pl_visible_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 | grep .; }
pl_wait_for_window() { pl_until 15 pl_visible_window "$1"; }

# pl_activate_window ID: waits until the window has the keyboard, asking for it now and then (without
# a window manager nobody hands it back after a dialog has closed).
pl_activate_window() {
    local tries
    for tries in $(seq 100); do
        [[ "$(xdotool getwindowfocus 2>/dev/null)" == "$1" ]] && return 0
        if ((tries % 20 == 0)); then xdotool windowfocus "$1" 2>/dev/null || true; fi
        sleep 0.1
    done
    return 1
}

pl_window_gone() { ! xdotool search --onlyvisible --name '' 2>/dev/null | grep -qx "$1"; }

pl_window_origin() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4} END {print x, y}'
}

# pl_differing_pixels A B: sets PL_DIFFERING; unreadable or differently sized pictures fail.
pl_differing_pixels() {
    local sizes output status=0
    sizes=$(identify -regard-warnings -format '%wx%h ' "$1" "$2" 2>&1) || pl_fail "identify $1 $2: $sizes"
    read -r -a sizes <<<"$sizes"
    [[ "${sizes[0]}" == "${sizes[1]}" ]] || pl_fail "$1 and $2 differ in size: ${sizes[*]}"
    output=$(compare -regard-warnings -metric AE "$1" "$2" null: 2>&1) || status=$?
    [[ ($status == 0 || $status == 1) && "$output" =~ ^[0-9]+(\.[0-9]+)?(e\+?[0-9]+)?$ ]] ||
        pl_fail "compare $1 $2 gave status $status: $output"
    PL_DIFFERING=$(awk '{printf "%d", $1}' <<<"$output")
}

# The writers rename a complete file into place, so it is whole once there.
pl_wait_for_file() { pl_until 10 test -s "$1" || pl_fail "no file $1"; }

# ---- The viewer, run in WORK (where its pl2.ini lives); needs BUILD_DIR ----------------------

viewer_begin() {
    VIEWER="$BUILD_DIR/viewer/pixloupe2d"
    [[ -x "$VIEWER" && -x "$BUILD_DIR/viewer/pixloupe2d-cli" ]] || pl_fail "no programs in $BUILD_DIR/viewer"
    pl_start_xvfb
    WORK="$PL_TMP/work"
    CANVAS_Y="" CANVAS_DY=""
    mkdir -p "$WORK"
}

viewer_start() {
    (cd "$WORK" && exec "$VIEWER" "$@") >"$PL_TMP/viewer.out" 2>"$PL_TMP/viewer.err" &
    VIEWER_PID=$!
    pl_on_exit_kill "$VIEWER_PID"
}

# viewer_windows_shown COUNT: menus and popups included.
viewer_windows_shown() {
    [[ "$(xdotool search --onlyvisible --class pixloupe2d 2>/dev/null | wc -l)" == "$1" ]]
}

viewer_log() { tail -n 20 "$PL_TMP/viewer.err" 2>/dev/null | tr '\n' ' '; }

# viewer_shown: the first render is on screen and WINDOW has the keyboard.
viewer_shown() {
    WINDOW=$(pl_wait_for_window 'Pixloupe 2d,x1') || pl_fail "no window with the first render: $(viewer_log)"
    pl_activate_window "$WINDOW" || pl_fail "the window does not take the keyboard"
}

# viewer_canvas_is NAME EXPECTED: one screenshot shows EXPECTED (a view of any size) at the window's
# left edge below the menu bar, whose height the first call finds.
viewer_canvas_is() {
    local x y dy size
    size=$(identify -format '%wx%h' "$2") || pl_fail "cannot read $2"
    import -window root "$PL_TMP/$1.png" 2>"$PL_TMP/import.err" || pl_fail "import: $(cat "$PL_TMP/import.err")"
    read -r x y < <(pl_window_origin "$WINDOW")
    for dy in ${CANVAS_DY:-$(seq 0 60)}; do
        convert "$PL_TMP/$1.png" -crop "$size+$x+$((y + dy))" +repage "$PL_TMP/$1-canvas.png" || pl_fail "no crop"
        pl_differing_pixels "$PL_TMP/$1-canvas.png" "$2"
        [[ $PL_DIFFERING == 0 ]] && CANVAS_X=$x CANVAS_Y=$((y + dy)) CANVAS_DY=$dy && return 0
    done
    return 1
}

# viewer_expect_view NAME DATA CLI-RENDER-OPTIONS...: soon the canvas shows what pixloupe2d-cli renders.
viewer_expect_view() {
    local expected="$PL_TMP/$1-expected.png"
    "$BUILD_DIR/viewer/pixloupe2d-cli" render "$2" "$expected" "${@:3}" || pl_fail "$1: no expected picture"
    pl_until 5 viewer_canvas_is "$1" "$expected" ||
        pl_fail "$1: the canvas is not the expected picture ($PL_DIFFERING pixels differ; PL_KEEP_TMP=1 keeps them)"
}

# menu_title X: the menu bar's title at X pixels from the window's left edge, clicked open (after a
# viewer_expect_view has found the canvas).
menu_title() {
    local x y
    read -r x y < <(pl_window_origin "$WINDOW")
    xdotool mousemove "$((x + $1))" "$(((y + CANVAS_Y) / 2))" click 1
    pl_until 5 viewer_windows_shown 2 || pl_fail "the menu at $1 did not open"
}

viewer_wait_exit() {
    local status=0
    wait "$VIEWER_PID" || status=$?
    [[ $status == 0 ]] || pl_fail "the viewer ended with exit code $status: $(viewer_log)"
}

# viewer_quit: Escape held until the viewer has ended.
viewer_quit() {
    xdotool keydown Escape
    viewer_wait_exit
    xdotool keyup Escape
}

# viewer_answer TITLE [TEXT [KEYS]]: waits for the dialog; the keys (a file dialog: alt+n, the name
# field), Control+A and the text replace what it proposes; then Enter.
viewer_answer() {
    local id
    id=$(pl_wait_for_window "$1") || pl_fail "no dialog \"$1\""
    pl_activate_window "$id" || pl_fail "\"$1\" does not take the keyboard"
    sleep 0.5
    if [[ -n "${2:-}" ]]; then
        xdotool key ${3:-} ctrl+a
        xdotool type --delay 60 "$2"
    fi
    xdotool key Return
    pl_until 5 pl_window_gone "$id" || pl_fail "\"$1\" did not close"
}

# viewer_keyboard_back: after a dialog, keys go to the window only once it has the keyboard again;
# without a window manager that can take a moment on a loaded machine.
viewer_keyboard_back() {
    pl_activate_window "$WINDOW" || pl_fail "the window does not take the keyboard back"
}

# viewer_save_letter_a: with a ZX Spectrum ROM's character set at the view's top-left ($3D00 at
# width 1), drags over the letter "A" and saves it with Ctrl+E as WORK/letter.png. "A" is character
# 65, the 34th from the space: rows 264 to 271 of the view.
viewer_save_letter_a() {
    local y
    xdotool mousemove "$((CANVAS_X + 2))" "$((CANVAS_Y + 264))" mousedown 1
    for y in 266 268 271; do
        xdotool mousemove "$((CANVAS_X + 5))" "$((CANVAS_Y + y))"
        sleep 0.1
    done
    xdotool mouseup 1
    sleep 0.3
    viewer_keyboard_back
    xdotool key ctrl+e
    viewer_answer 'Please choose file to save' letter alt+n
    pl_wait_for_file "$WORK/letter.png"
}

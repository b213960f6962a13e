# Shared helpers for end-to-end tests: a private X server, an optional window manager,
# waiting for things a program prints or shows, and cleaning up on exit.
# Use:   source "$(dirname "$0")/xvfb_lib.sh"
#        pl_start_xvfb [--wm]          # sets DISPLAY, PL_TMP (a private folder); the screen
#                                      # is PL_XVFB_SCREEN, 1280x1024x24 unless set
#        some-program & pl_on_exit_kill $!
# Everything started here is stopped and PL_TMP removed when the script exits
# (set PL_KEEP_TMP=1 to keep the folder for a look at screenshots and logs).
# The scripts run with "set -euo pipefail"; a command that fails unchecked names itself.

PL_TMP=""
PL_PIDS=()
PL_WM_RUNNING=""

pl_fail() {
    echo "FAIL: $*" >&2
    exit 1
}

pl_cleanup() {
    local pid
    for pid in "${PL_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${PL_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    if [[ -n "$PL_TMP" && -z "${PL_KEEP_TMP:-}" ]]; then
        rm -rf "$PL_TMP"
    elif [[ -n "$PL_TMP" ]]; then
        echo "kept $PL_TMP" >&2
    fi
}
trap pl_cleanup EXIT
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR

# Stops the process when the script exits.
pl_on_exit_kill() {
    PL_PIDS=("$1" "${PL_PIDS[@]}")
}

# Starts Xvfb on a free display number it picks itself (so parallel tests never collide),
# waits until it answers, and points DISPLAY and Qt at it. --wm also starts openbox.
pl_start_xvfb() {
    local use_wm=0
    [[ "${1:-}" == "--wm" ]] && use_wm=1
    command -v Xvfb >/dev/null || pl_fail "Xvfb is not installed"
    PL_TMP=$(mktemp -d "${TMPDIR:-/tmp}/pl-e2e.XXXXXX")
    mkdir -p "$PL_TMP/config" "$PL_TMP/cache" "$PL_TMP/runtime"
    chmod 700 "$PL_TMP/runtime"
    local number_file="$PL_TMP/display"
    # The server takes the first free number from a random start, away from the low numbers
    # that other scripts pick by hand. -noreset: without it the server resets whenever its
    # last client leaves (as xdpyinfo does below) and refuses connections meanwhile.
    Xvfb ":$((100 + RANDOM % 120))" -displayfd 3 -screen 0 "${PL_XVFB_SCREEN:-1280x1024x24}" -nolisten tcp -noreset \
        3>"$number_file" 2>"$PL_TMP/xvfb.log" &
    pl_on_exit_kill $!
    local tries
    for tries in $(seq 100); do
        [[ -s "$number_file" ]] && break
        sleep 0.1
    done
    [[ -s "$number_file" ]] || pl_fail "Xvfb did not start: $(cat "$PL_TMP/xvfb.log")"
    export DISPLAY=":$(tr -d '[:space:]' <"$number_file")"
    for tries in $(seq 100); do
        xdpyinfo >/dev/null 2>&1 && break
        sleep 0.1
    done
    xdpyinfo >/dev/null 2>&1 || pl_fail "display $DISPLAY does not answer"
    export QT_QPA_PLATFORM=xcb
    export XDG_CONFIG_HOME="$PL_TMP/config" XDG_CACHE_HOME="$PL_TMP/cache" XDG_RUNTIME_DIR="$PL_TMP/runtime"
    if [[ $use_wm == 1 ]]; then
        command -v openbox >/dev/null || pl_fail "openbox is not installed"
        openbox >"$PL_TMP/openbox.log" 2>&1 &
        pl_on_exit_kill $!
        PL_WM_RUNNING=1
        for tries in $(seq 200); do
            xprop -root _NET_SUPPORTED 2>/dev/null | grep -q _NET_ACTIVE_WINDOW && break
            sleep 0.1
        done
        xprop -root _NET_SUPPORTED 2>/dev/null | grep -q _NET_ACTIVE_WINDOW ||
            pl_fail "openbox did not start: $(cat "$PL_TMP/openbox.log")"
    fi
}

# pl_wait_for_line FILE REGEX [SECONDS]: waits until a line of FILE matches (grep -E).
pl_wait_for_line() {
    local file=$1 pattern=$2 seconds=${3:-10} tries
    for tries in $(seq $((seconds * 10))); do
        grep -qE -- "$pattern" "$file" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# pl_wait_for_new_line FILE REGEX FROM_LINE [SECONDS]: as above, only lines after FROM_LINE.
pl_wait_for_new_line() {
    local file=$1 pattern=$2 from=$3 seconds=${4:-10} tries
    for tries in $(seq $((seconds * 10))); do
        tail -n +"$((from + 1))" "$file" 2>/dev/null | grep -qE -- "$pattern" && return 0
        sleep 0.1
    done
    return 1
}

pl_line_count() {
    wc -l <"$1" | tr -d ' '
}

# pl_wait_for_window TITLE [SECONDS]: prints the id of the visible window with exactly this title.
pl_wait_for_window() {
    local title=$1 seconds=${2:-15} tries id
    for tries in $(seq $((seconds * 10))); do
        id=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -n 1) || true
        if [[ -n "$id" ]]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# pl_activate_window ID: gives the window the keyboard. Without a window manager a Qt
# window activates itself; with one, ask it and wait until it is done.
pl_activate_window() {
    local tries
    if [[ -z "${PL_WM_RUNNING:-}" ]]; then
        # The window takes the focus itself once it is mapped; under load that can lag
        # behind the window's appearance, and keys sent before it would go astray. Nobody
        # hands the focus back after a dialog has closed: then give it after a while.
        for tries in $(seq 100); do
            [[ "$(xdotool getwindowfocus 2>/dev/null)" == "$1" ]] && return 0
            if ((tries % 20 == 0)); then xdotool windowfocus "$1" 2>/dev/null || true; fi
            sleep 0.1
        done
        return 1
    fi
    for tries in $(seq 20); do
        xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
        [[ "$(xdotool getactivewindow 2>/dev/null)" == "$1" ]] && return 0
        sleep 0.25
    done
    return 1
}

# pl_screenshot FILE: the whole screen; fails unless a readable picture was written.
pl_screenshot() {
    import -window root "$1" 2>"$PL_TMP/import.err" || pl_fail "import $1: $(cat "$PL_TMP/import.err")"
    pl_picture_size "$1" >/dev/null
}

# pl_crop FILE GEOMETRY OUT: the part GEOMETRY (WxH+X+Y) of a picture.
pl_crop() {
    convert -regard-warnings "$1" -crop "$2" +repage "$3" 2>"$PL_TMP/convert.err" ||
        pl_fail "convert $1 -crop $2: $(cat "$PL_TMP/convert.err")"
}

# pl_picture_size FILE...: prints "WIDTHxHEIGHT" of each picture; fails unless each reads whole.
pl_picture_size() {
    identify -regard-warnings -format '%wx%h\n' "$@" 2>"$PL_TMP/identify.err" ||
        pl_fail "identify $*: no whole picture. $(cat "$PL_TMP/identify.err")"
}

# pl_differing_pixels A B: sets PL_DIFFERING to the number of pixels in which two pictures
# differ. Pictures that are missing, unreadable or of different sizes fail the test, and so
# does anything from compare but a count.
pl_differing_pixels() {
    local sizes output status=0
    sizes=$(pl_picture_size "$1" "$2") || exit 1
    [[ "$(sed -n 1p <<<"$sizes")" == "$(sed -n 2p <<<"$sizes")" ]] ||
        pl_fail "$1 and $2 differ in size: $(tr '\n' ' ' <<<"$sizes")"
    output=$(compare -regard-warnings -metric AE "$1" "$2" null: 2>&1) || status=$?
    [[ ($status == 0 || $status == 1) && "$output" =~ ^[0-9]+(\.[0-9]+)?(e\+?[0-9]+)?$ ]] ||
        pl_fail "compare $1 $2 gave status $status: $output"
    PL_DIFFERING=$(awk '{printf "%d", $1}' <<<"$output")
}

# pl_expect_same_picture A B WHAT: fails unless the two pictures are equal pixel for pixel.
pl_expect_same_picture() {
    pl_differing_pixels "$1" "$2"
    [[ $PL_DIFFERING == 0 ]] || pl_fail "$3: $PL_DIFFERING pixels differ (PL_KEEP_TMP=1 keeps the pictures)"
}

#!/usr/bin/env bash
# The requesters of the shell demonstration program under a private X server, driven with
# xdotool: a file name typed into the open dialog comes back as the chosen file, the save
# dialog takes an existing file without a question, the text input returns the edited text
# and an empty text on Escape, and the message box closes with Enter. After each requester
# the main window has the keyboard again.
set -euo pipefail
BUILD_DIR=${1:?usage: requesters_e2e.sh BUILD_DIR}
source "$(dirname "$0")/xvfb_lib.sh"

DEMO="$BUILD_DIR/shell/shell-demo"
[[ -x "$DEMO" ]] || pl_fail "no $DEMO"
pl_start_xvfb
OUT="$PL_TMP/out.txt"
FILES="$PL_TMP/files"
mkdir -p "$FILES"
echo "old" >"$FILES/existing.bin"

# Started in the files folder: a dialog without a default file opens there.
(cd "$FILES" && exec "$DEMO") >"$OUT" 2>"$PL_TMP/err.txt" &
DEMO_PID=$!
pl_on_exit_kill $DEMO_PID
pl_wait_for_line "$OUT" '^ready$' 20 || pl_fail "the demo did not start: $(cat "$PL_TMP/err.txt")"
pl_wait_for_window 'Shell demo' >/dev/null || pl_fail "no window"

# open_requester KEYS TITLE: presses the keys in the main window and waits for the requester.
open_requester() {
    from=$(pl_line_count "$OUT")
    xdotool key "$1"
    pl_wait_for_window "$2" >/dev/null || pl_fail "$1 opened no window \"$2\""
}

# expect_line REGEX WHAT: the next answer the demo prints.
expect_line() {
    pl_wait_for_new_line "$OUT" "$1" "$from" || pl_fail "$2: $(tail -n +"$((from + 1))" "$OUT" | tr '\n' ' ')"
}

# Open: a typed name, Enter.
open_requester ctrl+o 'Open a file'
pl_screenshot "$PL_TMP/open.png"
xdotool type --delay 20 "chosen one.bin"
xdotool key Return
expect_line "^open: $FILES/chosen one.bin pattern=0\$" "the typed name did not come back"
echo "ok: open"

# Save over an existing file: no question, the name comes back at once.
open_requester ctrl+s 'Save a file'
xdotool type --delay 20 "existing.bin"
xdotool key Return
expect_line "^save: $FILES/existing.bin pattern=0\$" "the existing file was not taken"
echo "ok: save"

# Text input: the default text with the caret at its end; Enter confirms, Escape cancels.
open_requester ctrl+t 'Text input'
pl_screenshot "$PL_TMP/text.png"
xdotool type --delay 20 "1f"
xdotool key Return
expect_line '^text: \[00001f\]$' "the edited text did not come back"
open_requester ctrl+t 'Text input'
xdotool type --delay 20 "99"
xdotool key Escape
expect_line '^text: \[\]$' "Escape did not cancel"
echo "ok: text input"

# Message box: Enter closes it.
open_requester ctrl+m 'Demo message'
xdotool key Return
expect_line '^message closed$' "the message did not close"
echo "ok: message"

# The main window has the keyboard again: its shortcut still works.
from=$(pl_line_count "$OUT")
xdotool key ctrl+g
expect_line '^event kind=13101 object=8 ' "the main window lost the keyboard"
echo "ok: keyboard back"

# Escape ends the demo normally.
xdotool keydown Escape
pl_wait_for_line "$OUT" '^end$' 10 || pl_fail "Escape did not end the demo"
xdotool keyup Escape
wait $DEMO_PID || pl_fail "the demo ended with status $?"
echo "ok: end"

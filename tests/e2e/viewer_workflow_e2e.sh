#!/usr/bin/env bash
# A ripper's workflow in a real window on a real ZX Spectrum ROM: a letter selected and saved,
# copied to the clipboard (read back with xclip) and numbered with F2; Right held with "Keep first
# byte when the width changes" on; Back after "Go to offset"; a bookmark that survives a restart;
# "Go to offset" 27 in the ZX Spectrum screen mode on a snapshot.
set -euo pipefail
BUILD_DIR=${1:?usage: viewer_workflow_e2e.sh BUILD_DIR}
source "$(dirname "$0")/xvfb_lib.sh"
CLI="$BUILD_DIR/viewer/pixloupe2d-cli"

ROM=/usr/share/spectrum-roms/opense.rom
[[ -r "$ROM" ]] || pl_fail "no $ROM: install the package opense-basic (scripts/install-deps.sh test)"
command -v xclip >/dev/null || pl_fail "xclip is not installed (scripts/install-deps.sh test)"
viewer_begin
cp "$ROM" "$WORK/zx.rom"
mkdir -p "$XDG_CONFIG_HOME/pixloupe2d"
echo "keep-first-byte=1" >"$XDG_CONFIG_HOME/pixloupe2d/settings"
viewer_start zx.rom
viewer_shown

xdotool key ctrl+j
viewer_answer 'Go to offset' '$3D00'
viewer_expect_view charset "$WORK/zx.rom" --first '$3D00'

viewer_save_letter_a

xdotool key ctrl+c
copied() { xclip -selection clipboard -t image/png -o >"$PL_TMP/clip.png" 2>/dev/null && test -s "$PL_TMP/clip.png"; }
pl_until 5 copied || pl_fail "Ctrl+C put no PNG on the clipboard"
pl_differing_pixels "$PL_TMP/clip.png" "$WORK/letter.png"
[[ $PL_DIFFERING == 0 ]] || pl_fail "the clipboard's picture is not letter.png: $PL_DIFFERING pixels differ"
echo "ok: Ctrl+C puts the saved selection's pixels on the clipboard as image/png"

xdotool key F2
pl_wait_for_file "$WORK/letter-000.png"
xdotool key F2
pl_wait_for_file "$WORK/letter-001.png"
cmp -s "$WORK/letter.png" "$WORK/letter-000.png" && cmp -s "$WORK/letter.png" "$WORK/letter-001.png" ||
    pl_fail "letter-000.png and letter-001.png are not the selection"
echo "ok: F2 writes letter-000.png and letter-001.png beside letter.png"

# Held Right widens the rows one key message at a time; the first byte stays $3D00 all the while.
# Two screenshots while it is held, one after: each shows $3D00 at a width up to 90.
seq 2 90 | xargs -P 2 -I{} "$CLI" render "$WORK/zx.rom" "$PL_TMP/w{}.png" --first '$3D00' --width {}
shoot() {
    import -window root "$PL_TMP/$1.png" 2>/dev/null || pl_fail "import failed"
    convert "$PL_TMP/$1.png" -crop "$(identify -format '%wx%h' "$PL_TMP/w2.png")+$CANVAS_X+$CANVAS_Y" +repage \
        "$PL_TMP/$1-canvas.png"
}
width_of() {
    for WIDTH in $(seq 2 90); do
        pl_differing_pixels "$PL_TMP/$1-canvas.png" "$PL_TMP/w$WIDTH.png"
        [[ $PL_DIFFERING == 0 ]] && return 0
    done
    return 1
}
xdotool keydown Right
sleep 1
for shot in held1 held2; do shoot "$shot"; done
xdotool keyup Right
HELD=""
for shot in held1 held2; do width_of "$shot" && HELD="$HELD $WIDTH"; done
[[ -n "$HELD" ]] || pl_fail "while Right is held the view does not start at \$3D00 ($PL_TMP/held1-canvas.png)"
released() { shoot released && width_of released; }
pl_until 5 released || pl_fail "after Right the view does not start at \$3D00 ($PL_TMP/released-canvas.png)"
echo "ok: with Keep first byte on, the view starts at \$3D00 while Right is held (widths$HELD, then $WIDTH)"

xdotool key ctrl+j
viewer_answer 'Go to offset' '$1000'
viewer_expect_view jumped "$WORK/zx.rom" --first '$1000' --width "$WIDTH"
viewer_keyboard_back
xdotool key alt+Left
viewer_expect_view back "$WORK/zx.rom" --first '$3D00' --width "$WIDTH"
echo "ok: Alt+Left after Go to offset \$1000 returns to \$3D00"

xdotool key ctrl+d
viewer_answer 'Add bookmark' charset
pl_until 5 grep -q charset "$XDG_CONFIG_HOME/pixloupe2d/settings" || pl_fail "Ctrl+D kept no bookmark"
viewer_quit
[[ "$("$CLI" bookmarks "$WORK/zx.rom")" == "15616 $WIDTH binary 1 charset" ]] ||
    pl_fail "pixloupe2d-cli bookmarks gives: $("$CLI" bookmarks "$WORK/zx.rom")"

viewer_start zx.rom
viewer_shown
menu_title 190  # "Bookmarks": "Add bookmark...", then the file's bookmarks
xdotool key Down Down Return
viewer_expect_view bookmark "$WORK/zx.rom" --first '$3D00' --width "$WIDTH"
echo "ok: after a restart the Bookmarks menu goes to \"charset\" (\$3D00, width $WIDTH)"
viewer_quit

# A snapshot: a 27-byte header, then the screen (the ROM's character set 8 times over, black on
# white), then the rest of the memory.
{
    head -c 27 /dev/urandom
    for i in 1 2 3 4 5 6 7 8; do tail -c +15617 "$ROM" | head -c 768; done
    perl -e 'print chr(0x38) x 768'
    head -c 42240 /dev/zero
} >"$WORK/game.sna"
computers=$("$CLI" --help | sed -n 's/.*computers: \([^;]*\);.*/\1/p' | tr -d ' ' | tr ',' '\n')
zx_downs=$(($(grep -n -x zx <<<"$computers" | cut -d: -f1) - 1))
viewer_start game.sna
viewer_shown
menu_title 58  # "View": "Zoom", "Color mode" > "Binary", three more, "Computers" > ...
xdotool key Down Down Right
sleep 0.3
xdotool key Down Down Down Down Right
sleep 0.3
xdotool key --repeat "$zx_downs" Down
xdotool key Return
viewer_expect_view zx-mode "$WORK/game.sna" --mode zx
xdotool key ctrl+j
viewer_answer 'Go to offset' 27
viewer_expect_view snapshot "$WORK/game.sna" --mode zx --first 27
echo "ok: Go to offset 27 in the ZX Spectrum screen mode shows the snapshot's screen aligned ($PL_TMP/snapshot-canvas.png)"
viewer_quit
echo "ok: the viewer ends with exit code 0"

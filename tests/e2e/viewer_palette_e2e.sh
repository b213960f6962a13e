#!/usr/bin/env bash
# Colour from the data in a real window: SNES 4 bpp tiles of a 16-colour picture with its 16 BGR555
# colour words behind them. "SNES 4 bpp tiles", "Guess width", then View > "Palette" > "Palette from
# data..." show the CLI's render with that palette; the strip right of the offset box shows the 16
# colours; a selection saved as image is a 4-bit palette PNG of the tiles' colour numbers and colours.
set -euo pipefail
BUILD_DIR=${1:?usage: viewer_palette_e2e.sh BUILD_DIR}
source "$(dirname "$0")/xvfb_lib.sh"
CLI="$BUILD_DIR/viewer/pixloupe2d-cli"

viewer_begin
# value(x, y): the picture, 128 x 64 pixels of colour numbers 0-15 (sky bands, a sun, hills);
# colour k as 5-bit red, green and blue.
cat >"$PL_TMP/picture.py" <<'PY'
import math
def value(x, y):
    if (x - 96) ** 2 + (y - 16) ** 2 < 100: return 15
    hill = 40 + 8 * math.sin(x / 11.0) + 4 * math.cos(x / 5.0)
    if y > hill: return 8 + int((y - hill) / 4) % 6
    return min(7, y // 6)
colours = [((k * 2) % 32, (31 - k * 2) % 32, (k * 5) % 32) for k in range(16)]
PY
# The tiles, 16 a row, 8 rows (each pixel row: planes 0 and 1 interleaved, planes 2 and 3 16 bytes
# on; the leftmost pixel in bit 7), then the colours as little-endian BGR555 words at $1000.
/usr/bin/python3 - "$PL_TMP" "$WORK/snes.bin" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from picture import value, colours
data = bytearray()
for ty in range(8):
    for tx in range(16):
        tile = bytearray(32)
        for y in range(8):
            for x in range(8):
                v = value(tx * 8 + x, ty * 8 + y)
                for plane in range(4):
                    tile[(plane // 2) * 16 + 2 * y + plane % 2] |= (v >> plane & 1) << (7 - x)
        data += tile
for r, g, b in colours:
    w = r | g << 5 | b << 10
    data += bytes([w & 0xFF, w >> 8])
open(sys.argv[2], "wb").write(data)
PY
consoles=$("$CLI" --help | sed -n 's/.*consoles: \([^(]*\)(.*/\1/p' | tr -d ' ' | tr ',' '\n')
snes_downs=$(($(grep -n -x snes4 <<<"$consoles" | cut -d: -f1) - 1))
viewer_start snes.bin
viewer_shown
viewer_expect_view start "$WORK/snes.bin"
menu_title 58  # "View": "Zoom", "Color mode" > "Binary", three more, "Computers", "Consoles" > ...
xdotool key Down Down Right
sleep 0.3
xdotool key Down Down Down Down Down Right
sleep 0.3
xdotool key --repeat "$snes_downs" Down
xdotool key Return
xdotool key ctrl+w
viewer_expect_view tiles "$WORK/snes.bin" --mode snes4 --width 16
menu_title 58  # "View": "Zoom", "Color mode", "Palette" > eight built-ins, two files, "Palette from data..."
xdotool key Down Down Down Right
sleep 0.3
xdotool key --repeat 10 Down
xdotool key Return
viewer_answer 'Palette from data' '$1000 16 bgr555'
viewer_expect_view coloured "$WORK/snes.bin" --mode snes4 --width 16 --palette-at '$1000' \
    --palette-encoding bgr555
echo "ok: Palette from data shows the tiles in their own colours ($PL_TMP/coloured-canvas.png)"

# The strip: 16 swatches of 16 pixels, 330 pixels right of the canvas's left edge, 22 below its
# bottom (the view is 512 high).
import -window root "$PL_TMP/strip.png"
/usr/bin/python3 - "$PL_TMP" <<'PY' >"$PL_TMP/swatches"
import sys
sys.path.insert(0, sys.argv[1])
from picture import colours
for k, (r, g, b) in enumerate(colours):
    print(16 * k + 8, "%02x%02x%02x" % (255 * r // 31, 255 * g // 31, 255 * b // 31))
PY
while read -r x expected; do
    seen=$(convert "$PL_TMP/strip.png" -crop "1x1+$((CANVAS_X + 330 + x))+$((CANVAS_Y + 512 + 22 + 8))" \
        -format '%[hex:p{0,0}]' info: | tr 'A-F' 'a-f' | cut -c1-6)
    [[ "$seen" == "$expected" ]] || pl_fail "the strip at $x shows $seen, not $expected"
done <"$PL_TMP/swatches"
echo "ok: the strip shows the 16 colours from the data ($PL_TMP/strip.png)"

# The selection over the sun: tiles 11 and 12 of tile rows 1 and 2, pixels (88, 8) to (103, 23).
xdotool mousemove "$((CANVAS_X + 90))" "$((CANVAS_Y + 10))" mousedown 1
for xy in "94 14" "98 18" "100 20"; do
    read -r x y <<<"$xy"
    xdotool mousemove "$((CANVAS_X + x))" "$((CANVAS_Y + y))"
    sleep 0.1
done
xdotool mouseup 1
sleep 0.3
viewer_keyboard_back
xdotool key ctrl+e
viewer_answer 'Please choose file to save' sun alt+n
pl_wait_for_file "$WORK/sun.png"
/usr/bin/python3 - "$PL_TMP" "$WORK/sun.png" <<'PY' || pl_fail "sun.png is not the selected colour numbers with their colours"
import struct, sys, zlib
sys.path.insert(0, sys.argv[1])
from picture import value, colours
png = open(sys.argv[2], "rb").read()
assert png[:8] == b"\x89PNG\r\n\x1a\n"
chunks, at = {}, 8
while at < len(png):
    length, kind = struct.unpack(">I4s", png[at:at + 8])
    chunks[kind] = chunks.get(kind, b"") + png[at + 8:at + 8 + length]
    at += 12 + length
width, height, depth, kind = struct.unpack(">IIBB", chunks[b"IHDR"][:10])
assert (width, height, depth, kind) == (16, 16, 4, 3), (width, height, depth, kind)
plte = chunks[b"PLTE"]
assert [tuple(plte[3 * k:3 * k + 3]) for k in range(len(plte) // 3)] == \
    [(255 * r // 31, 255 * g // 31, 255 * b // 31) for r, g, b in colours], "PLTE"
rows = zlib.decompress(chunks[b"IDAT"])
for y in range(16):
    row = rows[y * 9:(y + 1) * 9]
    assert row[0] == 0
    got = [row[1 + x // 2] >> (4 if x % 2 == 0 else 0) & 15 for x in range(16)]
    assert got == [value(88 + x, 8 + y) for x in range(16)], (y, got)
PY
echo "ok: the saved selection is a 4-bit palette PNG of the sun's colour numbers and the data's colours"

# A look at the window at zoom 2 with the strip's tip shown.
viewer_keyboard_back
xdotool key ctrl+2
sleep 0.5
xdotool mousemove "$((CANVAS_X + 400))" "$((CANVAS_Y + 512 + 30))"
sleep 2
import -window root "$PL_TMP/window.png"
echo "ok: screenshot $PL_TMP/window.png"
viewer_quit

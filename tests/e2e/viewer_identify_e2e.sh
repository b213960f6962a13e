#!/usr/bin/env bash
# View > "Identify format" on NES tile data in a real window: Ctrl+Shift+W sets the NES format at
# 16 tiles per row, the sheet's width, and the canvas shows what the CLI renders there.
set -euo pipefail
BUILD_DIR=${1:?usage: viewer_identify_e2e.sh BUILD_DIR}
source "$(dirname "$0")/xvfb_lib.sh"

viewer_begin
# A shaded picture of 16 x 16 NES tiles (two planes of 8 rows, leftmost pixel in bit 7), then
# random bytes.
/usr/bin/python3 - "$WORK/nes.bin" <<'PY'
import math, random, sys
def level(x, y):
    grey = 0.5 + 0.3 * math.sin(x / 9.0) * math.cos(y / 13.0) + 0.2 * math.sin((x + y) / 23.0)
    return max(0, min(3, int(grey * 4)))
data = bytearray()
for t in range(256):
    tile = [0] * 16
    for y in range(8):
        for x in range(8):
            v = level(t % 16 * 8 + x, t // 16 * 8 + y)
            tile[y] |= (v & 1) << (7 - x)
            tile[8 + y] |= (v >> 1) << (7 - x)
    data += bytes(tile)
random.seed(7)
data += bytes(random.randrange(256) for _ in range(8192))
open(sys.argv[1], "wb").write(data)
PY
viewer_start nes.bin
viewer_shown
viewer_expect_view start "$WORK/nes.bin"
xdotool key ctrl+shift+w
viewer_expect_view identified "$WORK/nes.bin" --mode nes --width 16
echo "ok: Ctrl+Shift+W shows the NES tiles at 16 tiles per row ($PL_TMP/identified-canvas.png)"
viewer_quit

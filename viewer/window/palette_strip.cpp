#include "viewer/window/palette_strip.h"

#include <cstdint>
#include <vector>

#include "graphics/canvas.h"
#include "graphics/drawing.h"
#include "shell/canvas_widget.h"
#include "shell/controls.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/pixel_decoding.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/engine/view_block.h"
#include "viewer/window/control_places.h"
#include "viewer/window/view_inputs.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

constexpr int32_t kNoColours = 0xC0C0C0;  // values too wide for a palette

// What the strip shows now, to draw it again only when that changes.
std::vector<int32_t> shownColours;
std::string shownTip;

// The colours values 0 .. 2^bits - 1 of the format show; none for values of more than 8 bits.
std::vector<int32_t> valueColours() {
    const int mode = viewerState.colourMode;
    const ModeRow* row = modeRow(mode, &viewerState.formats.modes);
    std::vector<int32_t> colours;
    if (row == nullptr || row->bits > 8) return colours;
    const SheetOptions options = viewerSheetOptions();
    for (int v = 0; v < 1 << row->bits; ++v) {
        if (!isByteCellMode(mode, &viewerState.formats.modes)) {
            colours.push_back(unitValueColour(options, v));
        } else if (mode == kModeBinary) {
            colours.push_back(decodedPixelColour(mode, v != 0 ? 0xFF : 0x00, 0, false));
        } else {
            colours.push_back(modePaletteColour(mode, v));
        }
    }
    return colours;
}

}  // namespace

void createPaletteStrip() {
    const ControlPlace place = controlPlace(kPaletteStrip);
    createCanvas(kPaletteStrip, place.x, place.y, place.width, place.height);
    shownColours.clear();
    shownTip.clear();
}

std::string paletteStripTip() {
    const ModeRow* row = modeRow(viewerState.colourMode, &viewerState.formats.modes);
    if (row == nullptr) return "";
    const std::string format = row->menuText;
    if (isByteCellMode(viewerState.colourMode, &viewerState.formats.modes))
        return format + ": the mode's own colours (palettes are for the other formats)";
    if (!showsPaletteValues(viewerState.colourMode, &viewerState.formats.modes))
        return format + ": no palette (direct colours, or values over 8 bits)";
    const std::string palette = paletteChoiceWords(viewerState.paletteChoice);
    return format + ": " + (palette.empty() ? "the format's own colours" : palette);
}

void showPaletteInUse() {
    const std::vector<int32_t> colours = valueColours();
    const std::string tip = paletteStripTip();
    if (tip != shownTip) setToolTip(kPaletteStrip, tip);
    shownTip = tip;
    const ControlPlace place = controlPlace(kPaletteStrip);
    if (colours == shownColours || !beginDrawing(canvasTarget(kPaletteStrip))) return;
    shownColours = colours;
    fillBox(0, 0, place.width, place.height, kNoColours);
    // Swatch v spans [v x width / n, (v + 1) x width / n): the strip's width shared out evenly.
    const int64_t n = static_cast<int64_t>(colours.size());
    for (int64_t v = 0; v < n; ++v) {
        const int left = static_cast<int>(v * place.width / n);
        const int right = static_cast<int>((v + 1) * place.width / n);
        fillBox(left, 0, right - left, place.height, colours[v]);
    }
    endDrawing();
}

#include "viewer/window/find_commands.h"

#include <cstdint>
#include <string>

#include "shell/controls.h"
#include "shell/window_shell.h"
#include "support/text_ops.h"
#include "viewer/engine/graphics_finder.h"
#include "viewer/engine/mode_table.h"
#include "viewer/window/place_history.h"
#include "viewer/window/render_view.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

int64_t firstByteOfView() {
    return viewerState.byteOffset + getState(kOffsetSpin);
}

void sayNothingFound(const std::string& text) {
    setStatusText(kStatusBar, 0, text, kStatusNoBorder);
}

// The finder measures byte columns, so it knows the four byte-cell modes only; in the others
// it says so instead of searching.
bool finderWorksInMode() {
    if (isByteCellMode(viewerState.colourMode)) return true;
    setStatusText(kStatusBar, 0,
                  "Guess width, Next graphics and Previous graphics work in the four classic modes only",
                  kStatusNoBorder);
    return false;
}

}  // namespace

void guessWidthCommand() {
    if (viewerState.dataBuffer == nullptr || !finderWorksInMode()) return;
    const int64_t first = firstByteOfView();
    const WidthGuess guess = guessWidth(viewerState.dataBuffer, viewerState.dataSize, first,
                                        viewerState.colourMode, viewerState.maxWidth);
    if (guess.count == 0) {
        sayNothingFound("No picture found from byte " + decimalText(first) + " in this colour mode");
        return;
    }
    showViewFrom(first, guess.candidates[0].width);
}

void nextGraphicsCommand(bool forward) {
    if (viewerState.dataBuffer == nullptr || !finderWorksInMode()) return;
    const int64_t first = firstByteOfView();
    GraphicsRegion region{};
    const bool found =
        forward ? findNextGraphics(viewerState.dataBuffer, viewerState.dataSize, viewerState.colourMode,
                                   first, viewerState.maxWidth, region)
                : findPreviousGraphics(viewerState.dataBuffer, viewerState.dataSize, viewerState.colourMode,
                                       first, viewerState.maxWidth, region);
    if (!found) {
        sayNothingFound(std::string("No graphics found ") + (forward ? "after" : "before") + " byte " +
                        decimalText(first) + " in this colour mode");
        return;
    }
    showViewFrom(region.first, region.width);
}

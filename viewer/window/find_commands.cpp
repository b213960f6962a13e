#include "viewer/window/find_commands.h"

#include <cstdint>
#include <string>

#include "shell/controls.h"
#include "shell/window_shell.h"
#include "support/text_ops.h"
#include "viewer/engine/graphics_finder.h"
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

}  // namespace

void guessWidthCommand() {
    if (viewerState.dataBuffer == nullptr) return;
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
    if (viewerState.dataBuffer == nullptr) return;
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

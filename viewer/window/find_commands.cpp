#include "viewer/window/find_commands.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "shell/controls.h"
#include "shell/event_queue.h"
#include "shell/window_shell.h"
#include "support/text_ops.h"
#include "viewer/engine/format_identify.h"
#include "viewer/engine/graphics_finder.h"
#include "viewer/engine/mode_table.h"
#include "viewer/window/place_history.h"
#include "viewer/window/render_view.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

// Identify judges the picture from the first byte on so many bytes at most.
constexpr int64_t kIdentifiedBytes = 64 * 1024;
// The status line names so many runners-up.
constexpr size_t kRunnersUpNamed = 3;

int64_t firstByteOfView() {
    return viewerState.byteOffset + getState(kOffsetSpin);
}

void sayNothingFound(const std::string& text) {
    setStatusText(kStatusBar, 0, text, kStatusNoBorder);
}

// A search that has scanned this much shows how far it has come and can be stopped with Escape;
// shorter ones look as they always did.
constexpr int64_t kQuietSearchBytes = 4 << 20;
// While it runs, the window redraws and looks for Escape this often at most.
constexpr auto kBusyPumpInterval = std::chrono::milliseconds(40);

struct SearchWatch {
    bool busy = false;
    int percent = -1;
    std::chrono::steady_clock::time_point lastPump{};
};

// The search's progress hook: false once Escape has been pressed.
bool watchSearch(void* context, int64_t done, int64_t total) {
    auto& watch = *static_cast<SearchWatch*>(context);
    if (done < kQuietSearchBytes) return true;
    if (!watch.busy) {
        beginBusy(kMainWindow);
        watch.busy = true;
    }
    const int percent = percentDone(done, total);
    if (percent != watch.percent) {
        watch.percent = percent;
        setStatusText(kStatusBar, 0, "Searching... " + decimalText(percent) + "%", kStatusNoBorder);
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - watch.lastPump < kBusyPumpInterval) return true;
    watch.lastPump = now;
    return !pumpBusy();
}

}  // namespace

void guessWidthCommand() {
    if (viewerState.dataBuffer == nullptr) return;
    const int64_t first = firstByteOfView();
    const WidthGuess guess =
        guessWidth(viewerState.dataBuffer, viewerState.dataSize, first, viewerState.colourMode,
                   viewerState.maxWidth, &viewerState.formats.modes);
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
    SearchWatch watch;
    const ScanHook hook{watchSearch, nullptr, &watch};
    const FindResult result =
        forward ? findNextGraphics(viewerState.dataBuffer, viewerState.dataSize, viewerState.colourMode,
                                   first, viewerState.maxWidth, hook, region, &viewerState.formats.modes)
                : findPreviousGraphics(viewerState.dataBuffer, viewerState.dataSize, viewerState.colourMode,
                                       first, viewerState.maxWidth, hook, region, &viewerState.formats.modes);
    if (watch.busy) endBusy();
    if (result == FindResult::Stopped) {
        setStatusText(kStatusBar, 0, "Search stopped at " + decimalText(watch.percent) + "%",
                      kStatusNoBorder);
        return;
    }
    if (result == FindResult::NotFound) {
        sayNothingFound(std::string("No graphics found ") + (forward ? "after" : "before") + " byte " +
                        decimalText(first) + " in this colour mode");
        return;
    }
    showViewFrom(region.first, region.width);
}

void identifyFormatCommand() {
    if (viewerState.dataBuffer == nullptr) return;
    const int64_t first = firstByteOfView();
    const std::vector<FormatAnswer> answers = identifyFormats(
        viewerState.dataBuffer, viewerState.dataSize, first, kIdentifiedBytes, &viewerState.formats.modes);
    if (answers.empty()) {
        sayNothingFound("No picture found from byte " + decimalText(first) + " in any format");
        return;
    }
    ViewPlace place = currentPlace();
    place.first = first;
    place.mode = answers[0].mode;
    place.width = answers[0].width;
    showPlace(place);
    const auto named = [](const FormatAnswer& answer) {
        return std::string(modeRow(answer.mode, &viewerState.formats.modes)->menuText) + " at width " +
               decimalText(answer.width);
    };
    std::string text = named(answers[0]);
    for (size_t i = 1; i < answers.size() && i <= kRunnersUpNamed; ++i)
        text += (i == 1 ? "; then " : ", ") + named(answers[i]);
    setStatusText(kStatusBar, 0, text, kStatusNoBorder);
}

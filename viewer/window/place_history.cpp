#include "viewer/window/place_history.h"

#include <algorithm>
#include <deque>

#include "shell/controls.h"
#include "shell/window_shell.h"
#include "support/text_ops.h"
#include "viewer/engine/bookmarks.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/window/mode_menu.h"
#include "viewer/window/own_settings.h"
#include "viewer/window/render_view.h"
#include "viewer/window/view_inputs.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

constexpr size_t kPlacesKept = 100;
constexpr const char* kKeepFirstByteKey = "keep-first-byte";

struct PlaceOption {
    int32_t bit;
    int box;
    int command;  // the menu item mirroring the box; -1 for none
};
constexpr PlaceOption kPlaceOptions[] = {
    {kPlaceInverse, kInverseBox, kCommandInverse},
    {kPlaceReverse, kReverseBox, kCommandReverse},
    {kPlaceNibbleSwap, kNibbleBox, -1},
    {kPlaceMultiColumn, kMultiBox, kCommandMulti},
};

std::deque<ViewPlace> backPlaces, forwardPlaces;
bool keepFirstByte = false;
// Where the last width change left the view: a further change from there adds no place.
bool widthChangeNoted = false;
ViewPlace afterWidthChange{};

void pushPlace(std::deque<ViewPlace>& places, const ViewPlace& place) {
    places.push_back(place);
    if (places.size() > kPlacesKept) places.pop_front();
}

// The top place of `from` is shown, the current one goes on `to`.
void stepThrough(std::deque<ViewPlace>& from, std::deque<ViewPlace>& to) {
    if (from.empty() || viewerState.dataBuffer == nullptr) return;
    pushPlace(to, currentPlace());
    const ViewPlace place = from.back();
    from.pop_back();
    widthChangeNoted = false;
    showPlace(place);
}

int64_t rowBytesAt(int32_t width) {
    return viewGeometry(viewerState.colourMode, &viewerState.formats.modes, width, 1, 1).rowBytes;
}

void changeWidthTo(int width) {
    const ViewPlace before = currentPlace();
    if (keepFirstByte && width != viewerState.bytesPerRow && viewerState.dataBuffer != nullptr) {
        showViewFrom(before.first, width);
    } else {
        applyScroll();
    }
    const ViewPlace after = currentPlace();
    if (after == before) return;
    if (!widthChangeNoted || before != afterWidthChange) noteJumpFrom(before);
    widthChangeNoted = true;
    afterWidthChange = after;
}

}  // namespace

ViewPlace currentPlace() {
    int32_t options = 0;
    for (const PlaceOption& option : kPlaceOptions)
        if (getState(option.box)) options |= option.bit;
    return {viewFirstByte(), viewerState.bytesPerRow, viewerState.colourMode, viewerState.zoom, options};
}

void showPlace(const ViewPlace& place) {
    viewerState.colourMode = place.mode;
    markColourMode(colourModeCommand(place.mode));
    viewerState.zoom = place.zoom;
    for (const PlaceOption& option : kPlaceOptions) {
        const int on = (place.options & option.bit) != 0;
        setState(option.box, on);
        if (option.command >= 0) setMenuCheck(kMainMenu, option.command, on);
    }
    showViewFrom(place.first, std::clamp(place.width, 1, viewerState.maxWidth));
}

void showViewFrom(int64_t first, int32_t width) {
    const int64_t rowBytes = rowBytesAt(width);
    const int64_t row = std::clamp<int64_t>(first / rowBytes, 0, viewerState.dataSize / rowBytes);
    const auto offset = static_cast<int>(std::clamp<int64_t>(first - row * rowBytes, INT32_MIN, INT32_MAX));
    setState(kWidthScroll, width);
    setRowScrollRange(rowBytes);
    setViewRow(row);
    followScrollBars();  // the offset box's range for this width
    setState(kOffsetSpin, offset);
    setText(kOffsetSpin, decimalText(getState(kOffsetSpin)));
    applyScroll();
}

void noteJumpFrom(const ViewPlace& before) {
    if (viewerState.dataBuffer == nullptr || currentPlace() == before) return;
    pushPlace(backPlaces, before);
    forwardPlaces.clear();
    widthChangeNoted = false;
}

void goBack() {
    stepThrough(backPlaces, forwardPlaces);
}

void goForward() {
    stepThrough(forwardPlaces, backPlaces);
}

void forgetPlaces() {
    backPlaces.clear();
    forwardPlaces.clear();
    widthChangeNoted = false;
}

bool keepsFirstByte() {
    return keepFirstByte;
}

void readKeepFirstByte() {
    keepFirstByte = userSetting(readOwnSettings(), kKeepFirstByteKey) == "1";
    setMenuCheck(kMainMenu, kCommandKeepFirstByte, keepFirstByte);
}

void toggleKeepFirstByte() {
    keepFirstByte = !keepFirstByte;
    setMenuCheck(kMainMenu, kCommandKeepFirstByte, keepFirstByte);
    UserSettings settings = readOwnSettings();
    setUserSetting(settings, kKeepFirstByteKey, keepFirstByte ? "1" : "0");
    writeOwnSettings(settings);
}

void widthBarMoved() {
    changeWidthTo(std::max(getState(kWidthScroll), 1));
}

void stepWidth(int step) {
    const int width = getState(kWidthScroll);
    if (step > 0 ? width >= viewerState.maxWidth : width <= 1) return;
    setState(kWidthScroll, width + step);
    changeWidthTo(getState(kWidthScroll));
}

#include "viewer/window/window_layout.h"

#include <algorithm>
#include <string>
#include <vector>

#include "graphics/canvas.h"
#include "graphics/drawing.h"
#include "graphics/images.h"
#include "shell/controls.h"
#include "shell/window_shell.h"
#include "support/text_ops.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/window/control_places.h"
#include "viewer/window/own_settings.h"
#include "viewer/window/render_view.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

constexpr const char* kWindowPlaceKey = "window";

constexpr int kLaidOutControls[] = {kCanvas,   kRowScroll, kWidthScroll, kInverseBox, kReverseBox,  kGridBox,
                                    kMultiBox, kNibbleBox, kPreviewBox,  kOffsetSpin, kPaletteStrip};

// "x y width height maximised", the place when neither maximised nor full screen.
std::string placeText(const WindowPlace& place) {
    return decimalText(place.x) + " " + decimalText(place.y) + " " + decimalText(place.clientWidth) + " " +
           decimalText(place.clientHeight) + " " + (place.maximized ? "1" : "0");
}

bool parsePlace(const std::string& text, WindowPlace& place) {
    std::vector<int64_t> numbers;
    size_t at = 0;
    while (at < text.size() && numbers.size() < 6) {
        const size_t end = std::min(text.find(' ', at), text.size());
        int64_t number = 0;
        if (!parseNumberText(text.substr(at, end - at), -kLargestViewSide * 4, kLargestViewSide * 4, number))
            return false;
        numbers.push_back(number);
        at = end + 1;
    }
    if (numbers.size() != 5 || numbers[4] < 0 || numbers[4] > 1) return false;
    place = {static_cast<int>(numbers[0]), static_cast<int>(numbers[1]), static_cast<int>(numbers[2]),
             static_cast<int>(numbers[3]), numbers[4] == 1};
    return true;
}

}  // namespace

void fillCanvasBlack() {
    if (beginDrawing(canvasTarget(kCanvas))) {
        fillBox(0, 0, viewerState.viewWidth, viewerState.viewHeight, 0);
        endDrawing();
    }
}

void fitViewToWindow() {
    const int width =
        std::clamp(windowClientWidth(kMainWindow) - kBarThickness, kViewWidth, kLargestViewSide);
    const int height =
        std::clamp(windowClientHeight(kMainWindow) - kBelowView, kStartViewHeight, kLargestViewSide);
    if (width == viewerState.viewWidth && height == viewerState.viewHeight) return;
    viewerState.viewWidth = width;
    viewerState.viewHeight = height;
    createImage(kSheetImage, width, height);
    for (const int control : kLaidOutControls) {
        const ControlPlace place = controlPlace(control);
        moveControl(control, place.x, place.y, place.width, place.height);
    }
    if (viewerState.dataBuffer == nullptr) {
        fillCanvasBlack();
        return;
    }
    applyScroll();
}

void toggleFullScreen() {
    setFullScreen(kMainWindow, !isFullScreen(kMainWindow));
}

void restoreWindowPlace() {
    WindowPlace place;
    if (!parsePlace(userSetting(readOwnSettings(), kWindowPlaceKey), place)) return;
    if (!fitsOnScreen(place)) {
        // The window stays centred at the starting size.
        if (!place.maximized) return;
        place = windowPlace(kMainWindow);
        place.maximized = true;
    }
    setWindowPlace(kMainWindow, place);
}

void keepWindowPlace() {
    UserSettings settings = readOwnSettings();
    const std::string place = placeText(windowPlace(kMainWindow));
    if (userSetting(settings, kWindowPlaceKey) == place) return;
    setUserSetting(settings, kWindowPlaceKey, place);
    writeOwnSettings(settings);
}

#include "viewer/window/settings_persistence.h"

#include "shell/controls.h"
#include "shell/requesters.h"
#include "shell/window_shell.h"
#include "support/settings_store.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

constexpr const char* kSettingsFile = "pl2.ini";
constexpr const char* kSettingsGroup = "Options";
constexpr int kFixedWidth = 75;

// A check box stored in the settings, with the menu item that mirrors it, in reading and writing order.
struct StoredBox {
    const char* key;
    int box;
    int command;
};

constexpr StoredBox kStoredBoxes[] = {
    {"Multi", kMultiBox, kCommandMulti},
    {"Grid", kGridBox, kCommandGrid},
    {"Inverse", kInverseBox, kCommandInverse},
    {"Reverse", kReverseBox, kCommandReverse},
};

}  // namespace

void readSettings() {
    if (!openSettings(kSettingsFile)) return;
    selectSettingsGroup(kSettingsGroup);
    viewerState.zoom = readSettingsNumber("zoom", 1);
    if (!isZoomStep(viewerState.zoom)) {
        viewerState.zoom = 1;
        showMessage("Wrong settings", "Zoom must be 1,2,4,8.Fixed");
    }
    for (const StoredBox& stored : kStoredBoxes) {
        setState(stored.box, readSettingsNumber(stored.key, 0));
        setMenuCheck(kMainMenu, stored.command, getState(stored.box));
    }
    viewerState.stayOnTop = readSettingsNumber("ontop", 0);
    setMenuCheck(kMainMenu, kCommandStayOnTop, viewerState.stayOnTop != 0);
    if (viewerState.stayOnTop != 0) setStayOnTop(kMainWindow, 1);
    viewerState.maxWidth = readSettingsNumber("maxwidth", kMaxBytesPerRow);
    if (viewerState.maxWidth > kMaxBytesPerRow || viewerState.maxWidth < 1) {
        viewerState.maxWidth = kFixedWidth;
        showMessage("Wrong settings", "Bad maxwidth.Fixed to 75");
    }
    setAttribute(kWidthScroll, kScrollMaximum, viewerState.maxWidth);
    closeSettings();
}

void writeSettings() {
    if (!createSettings(kSettingsFile)) return;
    selectSettingsGroup(kSettingsGroup);
    writeSettingsNumber("Zoom", viewerState.zoom);
    for (const StoredBox& stored : kStoredBoxes) writeSettingsNumber(stored.key, getState(stored.box));
    writeSettingsNumber("maxwidth", viewerState.maxWidth);
    writeSettingsNumber("ontop", viewerState.stayOnTop);
    closeSettings();
}

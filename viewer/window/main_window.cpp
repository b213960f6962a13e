#include "viewer/window/main_window.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "graphics/canvas.h"
#include "graphics/drawing.h"
#include "graphics/images.h"
#include "graphics/png_writer.h"
#include "shell/canvas_widget.h"
#include "shell/controls.h"
#include "shell/event_queue.h"
#include "shell/file_drop.h"
#include "shell/window_shell.h"
#include "support/file_services.h"
#include "support/text_ops.h"
#include "viewer/engine/data_buffer.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/window/app_identity.h"
#include "viewer/window/bookmark_menu.h"
#include "viewer/window/data_commands.h"
#include "viewer/window/find_commands.h"
#include "viewer/window/image_export.h"
#include "viewer/window/mode_menu.h"
#include "viewer/window/navigation.h"
#include "viewer/window/palette_menu.h"
#include "viewer/window/palette_strip.h"
#include "viewer/window/place_history.h"
#include "viewer/window/render_view.h"
#include "viewer/window/settings_persistence.h"
#include "viewer/window/view_inputs.h"
#include "viewer/window/viewer_state.h"
#include "viewer/window/window_layout.h"

namespace {

constexpr int kWindowFlags = kWindowTitleBar | kWindowSystemMenu | kWindowMinimizeBox | kWindowMaximizeBox |
                             kWindowSizingBorder | kWindowCentred;
constexpr int kWheelRows = 16;
constexpr int kLineFieldWidth = 330;  // the longest "Disp=" line

// The control that holds each value, in the order of HeldValue.
constexpr int kHeldValueControls[kHeldValueCount] = {kRowScroll,  kWidthScroll, kOffsetSpin,
                                                     kInverseBox, kReverseBox,  kGridBox,
                                                     kMultiBox,   kNibbleBox,   kPreviewBox};

int controlOf(HeldValue which) {
    return kHeldValueControls[static_cast<int>(which)];
}

int controlHeldValue(HeldValue which) {
    return getState(controlOf(which));
}
void setControlHeldValue(HeldValue which, int value) {
    setState(controlOf(which), value);
}

struct CheckBoxRow {
    int number;
    const char* caption;
    const char* toolTip;
};

// In creation order.
constexpr CheckBoxRow kCheckBoxes[] = {
    {kInverseBox, "i", "inverse byte"},
    {kReverseBox, "R", "reverse byte"},
    {kGridBox, "g", "grid"},
    {kMultiBox, "m", "Multi column"},
    {kNibbleBox, "n", "Nibble Swap"},
    {kPreviewBox, "z", "zoomed preview"},
};

void createControls() {
    const ControlPlace canvas = controlPlace(kCanvas), rows = controlPlace(kRowScroll),
                       widths = controlPlace(kWidthScroll), offset = controlPlace(kOffsetSpin);
    createCanvas(kCanvas, canvas.x, canvas.y, canvas.width, canvas.height);
    createScrollBar(kRowScroll, rows.x, rows.y, rows.width, rows.height, 0, 32, 1, 1);
    // Up to the largest width, also when no settings are read (which set it again).
    createScrollBar(kWidthScroll, widths.x, widths.y, widths.width, widths.height, 1, viewerState.maxWidth, 1,
                    0);
    bindControlEvent(kRowScroll, applyScroll);
    bindControlEvent(kWidthScroll, widthBarMoved);
    for (const CheckBoxRow& box : kCheckBoxes) {
        const ControlPlace place = controlPlace(box.number);
        createCheckBox(box.number, place.x, place.y, place.width, place.height, box.caption);
        setToolTip(box.number, box.toolTip);
    }
    createSpinBox(kOffsetSpin, offset.x, offset.y, offset.width, offset.height, -1, 1);
    setToolTip(kOffsetSpin, "offset");
    createPaletteStrip();
    enableFileDrop(kCanvas, kFormatFileList, kDropCopy);
    bindHeldValues(controlHeldValue, setControlHeldValue);
}

struct MenuItemRow {
    int id;
    const char* text;
};

void addMenuItems(std::initializer_list<MenuItemRow> items) {
    for (const MenuItemRow& item : items) menuItem(item.id, item.text);
}

// The "Color mode" items from the table: the classic modes, then a submenu for each further
// group, in table order ("From files" even while it is empty), then "Load format file...".
void addColourModeItems() {
    const std::vector<int> order = modesInMenuOrder(&viewerState.formats.modes);
    for (size_t i = 0; i < order.size(); ++i) {
        const ModeGroup group = modeRow(order[i], &viewerState.formats.modes)->record->group;
        const ModeGroup before =
            i > 0 ? modeRow(order[i - 1], &viewerState.formats.modes)->record->group : group;
        if (before != group && before != ModeGroup::Classic) closeSubmenu();
        if (before != group && before == ModeGroup::Classic) menuSeparator();
        if (before != group) openSubmenu(modeGroupTitle(group));
        menuItem(colourModeCommand(order[i]), modeRow(order[i], &viewerState.formats.modes)->menuText);
    }
    if (modeRow(order.back(), &viewerState.formats.modes)->record->group != ModeGroup::Files) {
        if (modeRow(order.back(), &viewerState.formats.modes)->record->group != ModeGroup::Classic)
            closeSubmenu();
        openSubmenu(modeGroupTitle(ModeGroup::Files));
    }
    closeSubmenu();
    menuItem(kCommandLoadFormatFile, "Load format file...");
}

void buildStatusBarAndMenus() {
    // The specified line, then our own field taking the rest of the bar.
    if (createStatusBar(kStatusBar, kMainWindow)) {
        addStatusField(kLineFieldWidth);
        addStatusField(kStatusFieldShare);
    }
    if (createPopupMenu(kJumpMenu)) menuItem(kCommandJumpHere, "jump here");
    if (!createMenuBar(kMainMenu, kMainWindow)) return;
    beginDropDown("File");
    addMenuItems({{kCommandOpen, "Open...\tCtrl+O"},
                  {kCommandSaveBinary, "Save binary..."},
                  {kCommandSaveImage, "Save image..."}});
    menuSeparator();
    menuItem(kCommandQuit, "Quit");
    menuSeparator();
    addMenuItems({{kCommandSaveSelectionImage, "Save selection as image...\tCtrl+E"},
                  {kCommandSaveSelectionBinary, "Save selection as binary...\tCtrl+Shift+E"}});
    beginDropDown("View");
    openSubmenu("Zoom");
    addMenuItems({{kCommandZoomPreview, "zoom preview\tCtrl+Z"},
                  {kCommandZoom1, "zoom x1\tCtrl+1"},
                  {kCommandZoom2, "zoom x2\tCtrl+2"},
                  {kCommandZoom4, "zoom x4\tCtrl+4"},
                  {kCommandZoom8, "zoom x8\tCtrl+8"}});
    closeSubmenu();
    openSubmenu("Color mode");
    addColourModeItems();
    setMenuCheck(kMainMenu, kCommandBinary, 1);
    closeSubmenu();
    addPaletteItems();
    addMenuItems({{kCommandGrid, "Grid\tCtrl+G"},
                  {kCommandInverse, "Inverse\tCtrl+I"},
                  {kCommandMulti, "Multi columns\tCtrl+M"},
                  {kCommandReverse, "Reverse byte\tCtrl+R"},
                  {kCommandStayOnTop, "Stay on top\tCtrl+T"},
                  {kCommandGoToOffset, "Go to offset...\tCtrl+J"}});
    addMenuItems({{kCommandGuessWidth, "Guess width\tCtrl+W"},
                  {kCommandIdentifyFormat, "Identify format\tCtrl+Shift+W"},
                  {kCommandNextGraphics, "Next graphics\tCtrl+N"},
                  {kCommandPreviousGraphics, "Previous graphics\tCtrl+B"}});
    menuSeparator();
    addMenuItems({{kCommandBack, "Back\tAlt+Left"},
                  {kCommandForward, "Forward\tAlt+Right"},
                  {kCommandKeepFirstByte, "Keep first byte when the width changes"},
                  {kCommandFullScreen, "Full screen\tF11"}});
    closeSubmenu();
    beginDropDown("Selection");
    addMenuItems({{kCommandCopyImage, "Copy as image\tCtrl+C"},
                  {kCommandCopyHex, "Copy as hex text\tCtrl+Shift+C"},
                  {kCommandSaveNumbered, "Save as next numbered PNG\tF2"}});
    beginDropDown("Bookmarks");
    closeSubmenu();
    for (const int command : kSelectionCommands) setMenuEnabled(kMainMenu, command, 0);
    addMenuItems(
        {{kCommandZoom1, "x1"}, {kCommandZoom2, "x2"}, {kCommandZoom4, "x4"}, {kCommandZoom8, "x8"}});
}

struct ShortcutRow {
    int key;  // with Control, and Shift when kShortcutShift is added
    int command;
};

// clang-format off
constexpr ShortcutRow kShortcuts[] = {
    {'O', kCommandOpen},    {'G', kCommandGrid},      {'I', kCommandInverse},     {'M', kCommandMulti},
    {'R', kCommandReverse}, {'T', kCommandStayOnTop}, {'Z', kCommandZoomPreview}, {'1', kCommandZoom1},
    {'2', kCommandZoom2},   {'4', kCommandZoom4},     {'8', kCommandZoom8},
    {'J', kCommandGoToOffset}, {'E', kCommandSaveSelectionImage},
    {kShortcutShift | 'E', kCommandSaveSelectionBinary}, {'W', kCommandGuessWidth},
    {kShortcutShift | 'W', kCommandIdentifyFormat},
    {'N', kCommandNextGraphics}, {'B', kCommandPreviousGraphics}, {'D', kCommandAddBookmark},
    {'C', kCommandCopyImage}, {kShortcutShift | 'C', kCommandCopyHex},
};
// clang-format on

void addShortcuts() {
    for (const ShortcutRow& row : kShortcuts)
        addShortcut(kMainWindow, kShortcutControl | row.key, row.command);
    addShortcut(kMainWindow, kKeyF1 + 1, kCommandSaveNumbered);  // F2
    addShortcut(kMainWindow, kShortcutAlt | kKeyLeft, kCommandBack);
    addShortcut(kMainWindow, kShortcutAlt | kKeyRight, kCommandForward);
    addShortcut(kMainWindow, kKeyF11, kCommandFullScreen);
}

bool arrowTakenByAlt = false;  // an arrow held since it was pressed with Alt

// Steps 2 to 6 of the loop: each held key moves one step, in the order Right, Left, Up, Down.
// Only keys pressed in the main window while it is active count.
void pollArrowKeys() {
    // Alt with Left or Right is Back or Forward, no width step: not until the arrow is let go,
    // also when Alt is let go first.
    const bool right = isKeyDownInWindow(kMainWindow, kKeyRight) != 0;
    const bool left = isKeyDownInWindow(kMainWindow, kKeyLeft) != 0;
    if (!left && !right) arrowTakenByAlt = false;
    if ((left || right) && isKeyDown(kKeyAlt)) arrowTakenByAlt = true;
    if (right && !arrowTakenByAlt) stepWidth(1);
    if (left && !arrowTakenByAlt) stepWidth(-1);
    if (isKeyDownInWindow(kMainWindow, kKeyUp)) {
        const int64_t row = viewRow();
        if (row != 0) {
            setViewRow(row - 1);
            applyScroll();
        }
    }
    if (isKeyDownInWindow(kMainWindow, kKeyDown)) {
        const int64_t row = viewRow();
        if (row != viewerState.barRows) {
            setViewRow(row + 1);
            applyScroll();
        }
    }
    const ViewPlace before = currentPlace();
    pollPageKeys();
    if (isKeyDown(kKeyHome) || isKeyDown(kKeyEnd)) noteJumpFrom(before);
}

void turnWheel() {
    const auto delta = static_cast<int16_t>((eventWParam() >> 16) & 0xFFFF);
    const int64_t row = viewRow();
    if (delta < 0) {
        setViewRow(row + kWheelRows);  // stops at the last row
        applyScroll();
    } else if (delta > 0 && row > kWheelRows) {
        setViewRow(row - kWheelRows);
        applyScroll();
    }
}

void rightClickCanvas() {
    const int mouseX = getAttribute(kCanvas, kCanvasMouseX);
    const int mouseY = getAttribute(kCanvas, kCanvasMouseY);
    viewerState.jumpRow = jumpRowAt(viewerSheetOptions(), viewRow(), mouseX, mouseY);
    showPopupMenu(kJumpMenu, kMainWindow);
}

void moveOverCanvas() {
    const int mouseX = getAttribute(kCanvas, kCanvasMouseX);
    const int mouseY = getAttribute(kCanvas, kCanvasMouseY);
    dragOnView();
    if (draggingOnView()) return;
    setStatusText(kStatusBar, 0,
                  statusTextForMouseMove(viewerSheetOptions(), viewerData().size, mouseX, mouseY),
                  kStatusNoBorder);
    writePlaceStatus();
    if (getState(kPreviewBox) && viewerState.zoom == 1) renderView();
}

// A check box that mirrors a menu item changed: render and copy its state to the check mark.
void mirrorBoxToMenu(int box, int command, bool markFirst) {
    if (markFirst) setMenuCheck(kMainMenu, command, getState(box));
    renderView();
    if (!markFirst) setMenuCheck(kMainMenu, command, getState(box));
}

void handleControlEvent() {
    switch (eventControl()) {
        case kCanvas:
            if (eventType() == kCanvasRightClick) rightClickCanvas();
            if (eventType() == kCanvasMouseMove) moveOverCanvas();
            if (eventType() == kCanvasLeftButtonDown) pressOnView();
            if (eventType() == kCanvasLeftButtonUp) releaseOnView();
            break;
        case kPreviewBox:
            if (!getState(kPreviewBox)) renderView();
            break;
        case kNibbleBox:
            renderView();
            break;
        case kOffsetSpin:
            setText(kOffsetSpin, decimalText(getState(kOffsetSpin)));
            renderView();
            setFocus(kInverseBox);
            break;
        case kMultiBox:
            mirrorBoxToMenu(kMultiBox, kCommandMulti, true);
            break;
        case kGridBox:
            mirrorBoxToMenu(kGridBox, kCommandGrid, false);
            break;
        case kReverseBox:
            mirrorBoxToMenu(kReverseBox, kCommandReverse, true);
            break;
        case kInverseBox:
            mirrorBoxToMenu(kInverseBox, kCommandInverse, false);
            break;
        default:
            break;  // the scroll bars' bound applyScroll has already run
    }
}

// Commands 8 to 11: flip the check mark and set the box to match.
void toggleMirroredOption(int command, int box) {
    const int was = getMenuCheck(kMainMenu, command);
    setMenuCheck(kMainMenu, command, 1 - was);
    setState(box, 1 - was);
    renderView();
}

void setZoom(int zoom) {
    viewerState.zoom = zoom;
    renderView();
}

void toggleStayOnTop() {
    viewerState.stayOnTop = 1 - viewerState.stayOnTop;
    setMenuCheck(kMainMenu, kCommandStayOnTop, viewerState.stayOnTop != 0);
    setStayOnTop(kMainWindow, viewerState.stayOnTop != 0);
}

void toggleZoomPreview() {
    const int was = getState(kPreviewBox);
    setMenuCheck(kMainMenu, kCommandZoomPreview, 1 - was);
    setState(kPreviewBox, 1 - was);
    renderView();
}

void jumpHere() {
    if (viewerState.jumpRow == -1) return;
    setViewRow(viewerState.jumpRow);
    applyScroll();
    viewerState.jumpRow = -1;
}

// A view row of another machine's mode can hold many more bytes than the width: the row
// position is recounted so that the view keeps its first byte, as near as the rows allow.
void chooseMachineMode(int mode) {
    const int64_t first = viewerState.byteOffset;
    viewerState.colourMode = mode;
    markColourMode(colourModeCommand(mode));
    const int64_t rowBytes =
        viewRowBytes(viewerState.colourMode, &viewerState.formats.modes, viewerState.bytesPerRow);
    setRowScrollRange(rowBytes);
    setViewRow(first / rowBytes);
    applyScroll();
}

// The commands that jump: the place left is where Back returns.
void jumpCommand(int command) {
    const ViewPlace before = currentPlace();
    if (command == kCommandJumpHere) jumpHere();
    if (command == kCommandGoToOffset) goToOffset();
    if (command == kCommandGuessWidth) guessWidthCommand();
    if (command == kCommandIdentifyFormat) identifyFormatCommand();
    if (command == kCommandNextGraphics || command == kCommandPreviousGraphics)
        nextGraphicsCommand(command == kCommandNextGraphics);
    noteJumpFrom(before);
}

// A load of the same file is a jump; another file starts with no places.
bool loadKeepingPlaces(bool (*load)()) {
    const ViewPlace before = currentPlace();
    const FileIdentity was = viewerState.loadedFile;
    if (!load()) return false;
    if (isSameFile(was, viewerState.loadedFile)) {
        noteJumpFrom(before);
    } else {
        forgetPlaces();
    }
    buildBookmarkMenu();
    return true;
}

ViewerStep handleCommand(int command) {
    switch (command) {
        case kCommandQuit:
            return ViewerStep::Quit;
        case kCommandSaveBinary:
            saveBinaryRange();
            break;
        case kCommandSaveImage:
            exportImage();
            break;
        case kCommandOpen:
            if (!loadKeepingPlaces(openDataFileCommand)) return ViewerStep::EndAtOnce;
            break;
        case kCommandZoom1:
            setZoom(1);
            break;
        case kCommandZoom2:
            setZoom(2);
            break;
        case kCommandZoom4:
            setZoom(4);
            break;
        case kCommandZoom8:
            setZoom(8);
            break;
        case kCommandGrid:
            toggleMirroredOption(kCommandGrid, kGridBox);
            break;
        case kCommandInverse:
            toggleMirroredOption(kCommandInverse, kInverseBox);
            break;
        case kCommandReverse:
            toggleMirroredOption(kCommandReverse, kReverseBox);
            break;
        case kCommandMulti:
            toggleMirroredOption(kCommandMulti, kMultiBox);
            break;
        case kCommandStayOnTop:
            toggleStayOnTop();
            break;
        case kCommandZoomPreview:
            toggleZoomPreview();
            break;
        case kCommandJumpHere:
        case kCommandGoToOffset:
        case kCommandGuessWidth:
        case kCommandIdentifyFormat:
        case kCommandNextGraphics:
        case kCommandPreviousGraphics:
            jumpCommand(command);
            break;
        case kCommandBack:
            goBack();
            break;
        case kCommandForward:
            goForward();
            break;
        case kCommandKeepFirstByte:
            toggleKeepFirstByte();
            break;
        case kCommandFullScreen:
            toggleFullScreen();
            break;
        case kCommandSaveSelectionImage:
            saveSelectionImage();
            break;
        case kCommandSaveSelectionBinary:
            saveSelectionBinary();
            break;
        case kCommandSaveNumbered:
            saveSelectionNumbered();
            break;
        case kCommandCopyImage:
            copySelectionImage();
            break;
        case kCommandCopyHex:
            copySelectionHex();
            break;
        case kCommandAddBookmark:
            addBookmarkCommand();
            break;
        case kCommandBinary:
        case kCommandAtari:
        case kCommandBk:
        case kCommandSamCoupe:
            viewerState.colourMode = command - kCommandBinary;
            markColourMode(command);
            fitOffsetBox();
            renderView();
            break;
        case kCommandLoadFormatFile: {
            const int mode = loadFormatFileCommand();
            if (mode >= 0) chooseMachineMode(mode);
            break;
        }
        default:
            if (bookmarkCommand(command)) break;
            if (paletteCommand(command)) {
                renderView();
                break;
            }
            if (command >= kCommandFirstMachine &&
                command < kCommandFirstMachine + modeCount(&viewerState.formats.modes) - kModeChunky8)
                chooseMachineMode(command - kCommandFirstMachine + kModeChunky8);
            break;
    }
    return ViewerStep::Continue;
}

// Everything every service still holds: files, images, memory blocks, windows and the shell.
void releaseServices() {
    bindHeldValues(nullptr, nullptr);
    closeAllFiles();
    freeImage(-1);
    shutdownShell();
    releaseAllMemory();
}

}  // namespace

ViewerStep startViewer(int argc, char** argv) {
    initShell(argc, argv);
    setDesktopEntryName(kDesktopEntryName);
    setApplicationIcon(appIconPictures());
    initViewerState();
    registerPngEncoder();
    createImage(kSheetImage, viewerState.viewWidth, viewerState.viewHeight);
    if (!openWindow(kMainWindow, 0, 0, windowWidthForView(viewerState.viewWidth),
                    windowHeightForView(viewerState.viewHeight), viewerState.windowTitle, kWindowFlags)) {
        return ViewerStep::EndAtOnce;
    }
    createControls();
    fillCanvasBlack();
    loadStartFormats();
    buildStatusBarAndMenus();
    addShortcuts();
    bindWindowResize(kMainWindow, fitViewToWindow);
    restoreWindowPlace();
    readSettings();
    readKeepFirstByte();
    keepPaletteWithFormat();
    showPaletteInUse();
    forgetPlaces();
    if (!loadStartFile()) return ViewerStep::EndAtOnce;
    buildBookmarkMenu();
    return ViewerStep::Continue;
}

ViewerStep handleEvent(int kind) {
    if (isKeyDownInWindow(kMainWindow, kKeyEscape)) return ViewerStep::Quit;
    pollArrowKeys();
    switch (kind) {
        case kEventFilesDropped:
            if (!loadKeepingPlaces(loadDroppedFiles)) return ViewerStep::EndAtOnce;
            break;
        case kRawMouseWheel:
            turnWheel();
            break;
        case kEventControl:
            handleControlEvent();
            break;
        case kEventMenu:
            return handleCommand(eventMenuItem());
        case kEventClose:
            return ViewerStep::Quit;
        default:
            break;
    }
    return ViewerStep::Continue;
}

int finishViewer(ViewerStep how) {
    if (how == ViewerStep::Quit) {
        writeSettings();
        keepWindowPlace();
        freeImage(kSheetImage);
        freeViewerData();
    }
    releaseServices();
    return 0;
}

int runViewer(int argc, char** argv) {
    ViewerStep step = startViewer(argc, argv);
    while (step == ViewerStep::Continue) step = handleEvent(waitEvent());
    return finishViewer(step);
}

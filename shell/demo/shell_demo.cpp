// A small program on the window shell (not the viewer): a canvas, two scroll bars, a check
// box, a spin box, a menu bar, a popup menu and a status bar, read by a waitEvent loop.
// Each event goes to stdout as one line, so that a script can drive and check it:
//   event kind=13101 object=8 window=0 type=0
//   raw 0x100 wparam=0x27
//   raw 0x20a delta=120
//   key right down
// The requesters answer with "open: NAME pattern=N", "save: NAME pattern=N", "text: [TEXT]"
// and "message closed"; files dropped on the canvas with "dropped: NAME | NAME".
// Options: --canvas-ppm FILE writes the canvas's backing image after the first drawing.
#include <QMenuBar>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <string>

#include "graphics/canvas.h"
#include "graphics/drawing.h"
#include "shell/canvas_widget.h"
#include "shell/controls.h"
#include "shell/event_queue.h"
#include "shell/file_drop.h"
#include "shell/requesters.h"
#include "shell/window_shell.h"

namespace {

constexpr int kMainWindow = 0, kCanvas = 0, kRowScroll = 1, kWidthScroll = 2, kInverseBox = 3,
              kOffsetSpin = 7;
constexpr int kMenuBar = 0, kPopupMenu = 2;

// Menu commands.
constexpr int kQuit = 0, kOpen = 3, kZoom1 = 4, kZoom2 = 5, kGrid = 8, kShowPositions = 90, kJumpHere = 14;
constexpr int kSave = 91, kMessage = 92, kTextInput = 93;

void say(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// A picture a script can recompute: red grows to the right, green downwards, blue is x xor y.
void drawPattern(int shift) {
    if (beginDrawing(canvasTarget(kCanvas)) == 0) return;
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 600; ++x)
            fillBox(x, y, 1, 1, rgb((x + shift) * 255 / 599 & 0xFF, y * 255 / 511, (x ^ y) & 0xFF));
    }
    endDrawing();
}

// The backing image as a binary PPM, rows from the top.
bool writeCanvasPpm(const char* fileName) {
    ImageHandle image = canvasImage(kCanvas);
    FILE* file = std::fopen(fileName, "wb");
    if (image == nullptr || file == nullptr) {
        if (file != nullptr) std::fclose(file);
        return false;
    }
    std::fprintf(file, "P6\n%d %d\n255\n", image->width, image->height);
    bool written = true;
    for (int y = 0; y < image->height && written; ++y) {
        const uint8_t* row = imageRow(*image, y);
        for (int x = 0; x < image->width && written; ++x) {
            unsigned char pixel[3] = {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]};
            written = std::fwrite(pixel, 1, 3, file) == 3;
        }
    }
    return std::fclose(file) == 0 && written;
}

// Where things are on the screen, for scripts that click them.
void showPositions() {
    auto* canvas = static_cast<QWidget*>(controlHandle(kCanvas));
    QPoint corner = canvas->mapToGlobal(QPoint(0, 0));
    say("canvas at " + std::to_string(corner.x()) + " " + std::to_string(corner.y()));
    auto* frame = static_cast<QWidget*>(windowHandle(kMainWindow));
    auto* bar = frame != nullptr ? frame->findChild<QMenuBar*>() : nullptr;
    if (bar == nullptr) return;
    for (QAction* action : bar->actions()) {
        if (!action->data().isValid()) continue;
        QPoint centre = bar->mapToGlobal(bar->actionGeometry(action).center());
        say("bar item " + std::to_string(action->data().toInt()) + " at " + std::to_string(centre.x()) + " " +
            std::to_string(centre.y()));
    }
}

void scrollCallback() {
    say("callback control=" + std::to_string(eventControl()) +
        " state=" + std::to_string(getState(eventControl())));
}

void buildControls() {
    createCanvas(kCanvas, 0, 0, 600, 512, 0);
    enableFileDrop(kCanvas, kFormatFileList, kDropCopy);
    createScrollBar(kRowScroll, 600, 0, 20, 512, 0, 32, 1, 1);
    createScrollBar(kWidthScroll, 0, 512, 600, 20, 1, 255, 1, 0);
    bindControlEvent(kRowScroll, scrollCallback);
    bindControlEvent(kWidthScroll, scrollCallback);
    createCheckBox(kInverseBox, 0, 532, 30, 20, "i");
    setToolTip(kInverseBox, "inverse byte");
    createSpinBox(kOffsetSpin, 240, 532, 80, 20, -1, 1);
    setToolTip(kOffsetSpin, "offset");
    setText(kOffsetSpin, "0");
}

// Every menu of the demo is built here, and the keys that give the same commands.
void buildMenus() {
    if (createPopupMenu(kPopupMenu) != 0) menuItem(kJumpHere, "jump here");
    if (createMenuBar(kMenuBar, kMainWindow) != 0) {
        beginDropDown("File");
        menuItem(kOpen, "Open...\tCtrl+O");
        menuItem(kSave, "Save...\tCtrl+S");
        menuItem(kMessage, "Message\tCtrl+M");
        menuItem(kTextInput, "Text input...\tCtrl+T");
        menuItem(kShowPositions, "Show positions\tCtrl+P");
        menuSeparator();
        menuItem(kQuit, "Quit");
        beginDropDown("View");
        openSubmenu("Zoom");
        menuItem(kZoom1, "zoom x1\tCtrl+1");
        menuItem(kZoom2, "zoom x2\tCtrl+2");
        closeSubmenu();
        menuItem(kGrid, "Grid\tCtrl+G");
        closeSubmenu();
        menuItem(kZoom1, "x1");
        menuItem(kZoom2, "x2");
    }
    addShortcut(kMainWindow, kShortcutControl | 'O', kOpen);
    addShortcut(kMainWindow, kShortcutControl | 'S', kSave);
    addShortcut(kMainWindow, kShortcutControl | 'M', kMessage);
    addShortcut(kMainWindow, kShortcutControl | 'T', kTextInput);
    addShortcut(kMainWindow, kShortcutControl | 'P', kShowPositions);
    addShortcut(kMainWindow, kShortcutControl | 'G', kGrid);
    addShortcut(kMainWindow, kShortcutControl | '1', kZoom1);
    addShortcut(kMainWindow, kShortcutControl | '2', kZoom2);
}

void reportEvent(int kind) {
    if (kind >= 13100 && kind <= 13118) {
        say("event kind=" + std::to_string(kind) + " object=" + std::to_string(eventControl()) +
            " window=" + std::to_string(eventWindow()) + " type=" + std::to_string(eventType()));
        return;
    }
    char line[96];
    if (kind == kRawMouseWheel) {
        std::snprintf(line, sizeof line, "raw 0x%x delta=%d", kind,
                      static_cast<int16_t>((eventWParam() >> 16) & 0xFFFF));
    } else {
        std::snprintf(line, sizeof line, "raw 0x%x wparam=0x%llx", kind,
                      static_cast<unsigned long long>(eventWParam()));
    }
    say(line);
}

void pollKeys() {
    const struct {
        int key;
        const char* name;
    } keys[] = {{kKeyRight, "right"}, {kKeyLeft, "left"}, {kKeyUp, "up"}, {kKeyDown, "down"}};
    for (auto each : keys) {
        if (isKeyDown(each.key) != 0) say(std::string("key ") + each.name + " down");
    }
}

// The requester of a menu command, with its answer on stdout.
void runRequester(int command) {
    const std::string patterns = "All files (*.*)|*.*|Binary file (*.bin)|*.bin";
    switch (command) {
        case kOpen: {
            std::string name = askOpenFileName("Open a file", "", patterns, 0);
            say("open: " + name + " pattern=" + std::to_string(selectedPatternIndex()));
            break;
        }
        case kSave: {
            std::string name = askSaveFileName("Save a file", "", patterns, 0);
            say("save: " + name + " pattern=" + std::to_string(selectedPatternIndex()));
            break;
        }
        case kMessage:
            showMessage("Demo message", "First line\r\nsecond line");
            say("message closed");
            break;
        case kTextInput:
            say("text: [" + askText("Text input", "Enter size(hex/dec)", "0000") + "]");
            break;
        default:
            break;
    }
}

void reportDroppedFiles() {
    std::string names;
    for (const std::string& name : droppedFileNames()) names += (names.empty() ? "" : " | ") + name;
    say("dropped: " + names);
}

// Handles one event; false ends the loop.
bool handleEvent(int kind) {
    if (kind == kEventClose) return false;
    if (kind == kEventMenu) {
        switch (eventMenuItem()) {
            case kQuit:
                return false;
            case kGrid:
                setMenuCheck(kMenuBar, kGrid, 1 - getMenuCheck(kMenuBar, kGrid));
                break;
            case kShowPositions:
                showPositions();
                break;
            default:
                runRequester(eventMenuItem());
                break;
        }
    }
    if (kind == kEventControl && eventControl() == kCanvas) {
        if (eventType() == kCanvasRightClick) showPopupMenu(kPopupMenu, kMainWindow);
        if (eventType() == kCanvasMouseMove) {
            setStatusText(0, 0,
                          "x=" + std::to_string(getAttribute(kCanvas, 2)) +
                              ",y=" + std::to_string(getAttribute(kCanvas, 3)),
                          2);
        }
    }
    if (kind == kEventFilesDropped) reportDroppedFiles();
    if (kind == kEventControl && eventControl() == kOffsetSpin)
        setText(kOffsetSpin, std::to_string(getState(kOffsetSpin)));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* ppmFile = nullptr;
    for (int index = 1; index + 1 < argc; ++index) {
        if (std::strcmp(argv[index], "--canvas-ppm") == 0) ppmFile = argv[index + 1];
    }
    if (initShell(argc, argv) == 0) return 1;
    if (openWindow(kMainWindow, 0, 0, 620, 602, "Shell demo", 0xCA0001) == 0) {
        shutdownShell();
        return 1;
    }
    buildControls();
    drawPattern(0);
    if (ppmFile != nullptr && !writeCanvasPpm(ppmFile)) say("cannot write " + std::string(ppmFile));
    if (createStatusBar(0, kMainWindow) != 0) addStatusField(600);
    buildMenus();
    say("ready");
    for (;;) {
        int kind = waitEvent();
        if (isKeyDown(kKeyEscape) != 0) {
            say("escape");
            break;
        }
        pollKeys();
        reportEvent(kind);
        if (!handleEvent(kind)) break;
    }
    say("end");
    shutdownShell();
    return 0;
}

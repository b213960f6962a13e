// Drives the real viewer in this process on the offscreen platform: a fresh current folder
// per test, the start, loop and exit of the program, user input sent to its window, and
// scripted answers for the message boxes, dialogs and the popup menu it opens.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graphics/canvas.h"
#include "graphics/images.h"
#include "shell/event_queue.h"
#include "tests/support/temp_folder.h"
#include "viewer/main_window.h"
#include "viewer/render_view.h"

enum class RequesterKind { Message, OpenFile, SaveFile, Text, Popup };

// One requester the viewer opened, as the user saw it.
struct SeenRequester {
    RequesterKind kind;
    std::string title;
    std::string text;    // message text, text field, file name field, or the popup's items each ending in ';'
    std::string folder;  // file dialogs: the folder shown, its name filters and the one shown first
    std::vector<std::string> patterns;
    int pattern = -1;
};

// How to answer the next requester: the full file name, typed text or popup item ("" closes it).
struct RequesterAnswer {
    RequesterKind kind;
    std::string reply;
    int pattern = 0;  // file dialogs: the filter chosen
    bool cancel = false;
};

int32_t imagePixel(ImageHandle image, int x, int y);  // 0x00BBGGRR, -1 outside the image

class ViewerWindowTest : public testing::Test {
   protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Files in the test's folder, which is the current directory while the test runs.
    std::string path(const std::string& name) const { return folder_ + "/" + name; }
    void writeFile(const std::string& name, const std::string& bytes) const {
        writeWholeFile(path(name), bytes);
    }
    std::string readFile(const std::string& name) const { return readWholeFile(path(name)); }
    bool exists(const std::string& name) const { return fileExists(path(name)); }

    // startViewer with these arguments; startWithFile writes the file, starts with it and drains.
    ViewerStep start(const std::vector<std::string>& arguments = {});
    ViewerStep startWithFile(const std::string& name, const std::string& bytes);
    int finish(ViewerStep how = ViewerStep::Quit) { return running_ = false, finishViewer(how); }

    // The next event within timeoutMs (0: none arrived, only the polls); every waiting event
    // until one ends the loop; a menu command as the menu or a shortcut delivers it.
    ViewerStep handleNext(int timeoutMs = 1000) { return handleEvent(waitEvent(timeoutMs)); }
    ViewerStep drain();
    ViewerStep command(int id);

    // Answers the requesters in this order; each one met is recorded in seen().
    void answer(std::vector<RequesterAnswer> answers);
    const std::vector<SeenRequester>& seen() const;
    void expectAllAnswered();

    // Width and row as if the scroll bars were moved there.
    static void scrollTo(int width, int row);
    // Every render rewrites the status line; this text shows whether one ran since.
    static void markStatus();
    bool rendered() const { return status() != "-"; }

    // Input to the main window as the platform delivers it. tapKey handles what waits, marks the
    // status line, presses the key, handles the press and releases it.
    void pressKey(int qtKey, int qtModifiers = 0);
    void releaseKey(int qtKey, int qtModifiers = 0);
    void tapKey(int qtKey);
    void moveMouseOnCanvas(int x, int y);
    void rightClickCanvas(int x, int y);
    // The left button pressed at the first point and moved through the others, each step
    // handled; released at the last point unless held.
    void leftDragOnCanvas(const std::vector<std::pair<int, int>>& points, bool held = false);
    void releaseLeftOnCanvas(int x, int y);
    void turnWheel(int delta);
    void clickCheckBox(int number);

    // What the user sees; colours 0x00BBGGRR.
    std::string title() const;
    std::string status() const;
    int32_t canvasPixel(int x, int y) const { return imagePixel(canvasImage(kCanvas), x, y); }
    int32_t sheetPixel(int x, int y) const { return imagePixel(imageHandle(0), x, y); }
    bool hasFocus(int control) const;
    bool isOnTop() const;

    std::unique_ptr<TempFolder> temporary_;
    std::string folder_;
    std::string previousDirectory_;
    bool running_ = false;
};

// Bytes 0, 1, 2, ... (mod 256) of the given length.
std::string countingBytes(int64_t length);

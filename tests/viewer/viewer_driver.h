// Drives the real viewer in this process on the offscreen platform: a fresh current folder
// per test, the start, loop and exit of the program, user input sent to its window, and
// scripted answers for the message boxes, dialogs and the popup menu it opens.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graphics/images.h"
#include "tests/support/temp_folder.h"
#include "viewer/main_window.h"
#include "viewer/render_view.h"

enum class RequesterKind { Message, OpenFile, SaveFile, Text, Popup };

// One requester the viewer opened, as the user saw it.
struct SeenRequester {
    RequesterKind kind;
    std::string title;
    std::string text;    // message text (CR LF shows as one line break), text field, or file name field
    std::string folder;  // file dialogs: the folder shown
    std::vector<std::string> patterns;  // file dialogs: the name filters
    int pattern = -1;                   // file dialogs: the filter shown first
};

// How to answer the next requester.
struct RequesterAnswer {
    RequesterKind kind;
    std::string reply;  // full file name, typed text, or the popup item to choose ("" closes it)
    int pattern = 0;    // file dialogs: the filter chosen
    bool cancel = false;
};

class ViewerWindowTest : public testing::Test {
   protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // A file in the test's folder, which is the current directory while the test runs.
    std::string path(const std::string& name) const { return folder_ + "/" + name; }
    void writeFile(const std::string& name, const std::string& bytes) const;
    std::string readFile(const std::string& name) const;
    bool exists(const std::string& name) const;

    // startViewer with the given command-line arguments.
    ViewerStep start(const std::vector<std::string>& arguments = {});
    // Writes the file into the folder, starts with it on the command line and handles what
    // the start left waiting.
    ViewerStep startWithFile(const std::string& name, const std::string& bytes);
    // finishViewer(how); afterwards the viewer is gone.
    int finish(ViewerStep how = ViewerStep::Quit);

    // Handles the next event that arrives within timeoutMs (0: nothing arrived: only the polls).
    ViewerStep handleNext(int timeoutMs = 1000);
    // Handles every event that is waiting now, until one ends the loop.
    ViewerStep drain();
    // A menu command as the window's menu or a shortcut delivers it, handled at once.
    ViewerStep command(int id);

    // Answers the requesters in this order; each one met is recorded in seen().
    void answer(std::vector<RequesterAnswer> answers);
    const std::vector<SeenRequester>& seen() const;
    // Fails the test when an answer was not used.
    void expectAllAnswered();

    // Width and row position as if the scroll bars were moved there.
    static void scrollTo(int width, int row);
    // Every render rewrites the status line; this text shows whether one ran since.
    static void markStatus();
    bool rendered() const { return status() != "-"; }

    // Input to the main window, as the platform delivers it.
    void pressKey(int qtKey, int qtModifiers = 0);
    void releaseKey(int qtKey, int qtModifiers = 0);
    // After what is waiting, marks the status line, then presses the key, handles the press as
    // the loop does and releases it.
    void tapKey(int qtKey);
    void moveMouseOnCanvas(int x, int y);
    void rightClickCanvas(int x, int y);
    // The left button pressed at the first point and moved through the others, each step
    // handled; the pointer comes onto the canvas first. Released at the last point unless held.
    void leftDragOnCanvas(const std::vector<std::pair<int, int>>& points, bool held = false);
    void releaseLeftOnCanvas(int x, int y);
    void turnWheel(int delta);
    void clickCheckBox(int number);

    // What the user sees.
    std::string title() const;
    std::string status() const;
    int32_t canvasPixel(int x, int y) const;  // 0x00BBGGRR
    int32_t sheetPixel(int x, int y) const;
    bool hasFocus(int control) const;
    bool isOnTop() const;

    std::unique_ptr<TempFolder> temporary_;
    std::string folder_;
    std::string previousDirectory_;
    bool running_ = false;
};

int32_t imagePixel(ImageHandle image, int x, int y);

// Bytes 0, 1, 2, ... (mod 256) of the given length.
std::string countingBytes(int64_t length);

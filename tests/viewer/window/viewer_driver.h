// Drives the real viewer in this process: a fresh current folder per test, start, loop and exit, input
// to its window, scripted answers to its boxes, dialogs and popup menu.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graphics/canvas.h"
#include "graphics/images.h"
#include "shell/event_queue.h"
#include "shell/window_shell.h"
#include "tests/support/temp_folder.h"
#include "viewer/window/main_window.h"
#include "viewer/window/render_view.h"

// Bytes 0, 1, 2, ... (mod 256) of the given length.
std::string countingBytes(int64_t length);

enum class RequesterKind { Message, OpenFile, SaveFile, Text, Popup };

// A requester seen: message, text field, file name, or popup items each ending in ';'; dialogs' filters.
struct SeenRequester {
    RequesterKind kind;
    std::string title, text, folder;
    std::vector<std::string> patterns;
    int pattern = -1;
};

// The answer to the next requester: the full file name, typed text or popup item ("" closes it).
struct RequesterAnswer {
    RequesterKind kind;
    std::string reply;
    int pattern = 0;  // file dialogs: the filter chosen
    bool cancel = false;
};

class ViewerWindowTest : public testing::Test {
   protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Files in the test's folder, the current directory while the test runs.
    std::string path(const std::string& name) const { return folder_ + "/" + name; }
    void writeFile(const std::string& name, const std::string& bytes) const {
        writeWholeFile(path(name), bytes);
    }
    std::string readFile(const std::string& name) const { return readWholeFile(path(name)); }
    bool exists(const std::string& name) const { return fileExists(path(name)); }

    ViewerStep start(const std::vector<std::string>& arguments = {});
    ViewerStep startWithFile(const std::string& name, const std::string& bytes);
    void startWithData(int64_t size) {
        ASSERT_EQ(startWithFile("data.bin", countingBytes(size)), ViewerStep::Continue);
    }
    int finish(ViewerStep how = ViewerStep::Quit) { return running_ = false, finishViewer(how); }

    // The next event; every waiting event until one ends the loop; a command as a menu delivers it.
    ViewerStep handleNext(int timeoutMs = 1000) { return handleEvent(waitEvent(timeoutMs)); }
    ViewerStep drain();
    ViewerStep command(int id);

    // Answers the requesters in this order; each one met is recorded in seen().
    void answer(std::vector<RequesterAnswer> answers);
    const std::vector<SeenRequester>& seen() const;
    void expectAllAnswered();

    static void scrollTo(int width, int row);                 // as if the scroll bars were moved there
    static void setView(int width, int row, int fineOffset);  // and the offset box typed in
    // Every render rewrites the status line: this shows whether one ran since.
    static void markStatus() { setStatusText(kStatusBar, 0, "-", kStatusNoBorder); }
    bool rendered() const { return status() != "-"; }

    // Input as the platform delivers it; tapKey marks the status line; a drag is released unless held.
    void pressKey(int qtKey, int qtModifiers = 0);
    void releaseKey(int qtKey, int qtModifiers = 0);
    void tapKey(int qtKey, int qtModifiers = 0);
    void moveMouseOnCanvas(int x, int y, bool buttonsUp = false);
    void rightClickCanvas(int x, int y);
    void leftDragOnCanvas(const std::vector<std::pair<int, int>>& points, bool held = false);
    void releaseLeftOnCanvas(int x, int y);
    void turnWheel(int delta);
    void clickCheckBox(int number);

    // What the user sees; colours 0x00BBGGRR, -1 outside the picture.
    std::string title() const;
    std::string status() const;
    std::string placeStatus() const;  // the second field, with "<" when its text is right-aligned
    int32_t canvasPixel(int x, int y) const { return imagePixel(canvasImage(kCanvas), x, y); }
    int32_t sheetPixel(int x, int y) const { return imagePixel(imageHandle(0), x, y); }
    static int32_t imagePixel(ImageHandle image, int x, int y);
    bool hasFocus(int control) const;
    bool isOnTop() const;

    std::unique_ptr<TempFolder> temporary_, configuration_;
    std::string folder_, previousDirectory_;
    bool running_ = false;
};

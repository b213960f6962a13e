// "pl2.ini" read at start into the state, the controls and the menu, and written at the end.
#include <sys/stat.h>

#include "shell/controls.h"
#include "tests/viewer/window/viewer_driver.h"
#include "viewer/window/viewer_state.h"

namespace {

struct Stored {
    int zoom, multi, grid, inverse, reverse, maxWidth, onTop;
};

std::string writtenSettings(const Stored& s) {
    std::string text = "[Options]\r\n";
    const std::pair<const char*, int> keys[] = {
        {"Zoom", s.zoom},       {"Multi", s.multi},       {"Grid", s.grid},  {"Inverse", s.inverse},
        {"Reverse", s.reverse}, {"maxwidth", s.maxWidth}, {"ontop", s.onTop}};
    for (const auto& [key, value] : keys) text += std::string(key) + " = " + std::to_string(value) + "\r\n";
    return text;
}

const Stored kDefaults = {1, 0, 0, 0, 0, 256, 0};
const std::string kZoomFixed = "Wrong settings: Zoom must be 1,2,4,8.Fixed",
                  kWidthFixed = "Wrong settings: Bad maxwidth.Fixed to 75";

// The values read show in the state, boxes, menu, window and width bar, and are written at exit.
TEST_F(ViewerWindowTest, SettingsReadAtStartAndWrittenAtExit) {
    struct Case {
        const char* file;  // nullptr: no settings file
        std::vector<std::string> messages;
        Stored read;
        int widthMaximum;
        bool readOnly = false;  // then it is left as it is, silently
    };
    const Stored fixedWidth = {1, 0, 0, 0, 0, 75, 0};
    // clang-format off
    const Case cases[] = {
        {nullptr, {}, kDefaults, 256}, {" ", {}, kDefaults, 256},
        {"[Options]\r\nZoom = 8\r\nMulti = 1\r\nGrid = 0\r\nInverse = 1\r\nReverse = 1\r\nmaxwidth = 40\r\nontop = 1\r\n", {}, {8, 1, 0, 1, 1, 40, 1}, 40},
        {"[Options]\nzoom=3\n", {kZoomFixed}, kDefaults, 256}, {"[Options]\nzoom=0\n", {kZoomFixed}, kDefaults, 256},
        {"[Options]\r\nmaxwidth = 1\r\n", {}, {1, 0, 0, 0, 0, 1, 0}, 1}, {"[Options]\r\nmaxwidth = 257\r\n", {kWidthFixed}, fixedWidth, 75},
        {"[Options]\r\nmaxwidth = 0\r\n", {kWidthFixed}, fixedWidth, 75},
        {"[Options]\nmaxwidth=300\nzoom=5\n", {kZoomFixed, kWidthFixed}, fixedWidth, 75},
        {"[Options]\r\nGrid = 7\r\n", {}, {1, 0, 1, 0, 0, 256, 0}, 256}, {"[Options]\r\nontop = 2\r\n", {}, {1, 0, 0, 0, 0, 256, 2}, 256},
        {"[Other]\r\nzoom = 4\r\nGrid = 1\r\nmaxwidth = 9\r\n", {}, kDefaults, 256},
        {"[Options]\r\nzoom = 2\r\n", {}, {2, 0, 0, 0, 0, 256, 0}, 256, true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file == nullptr ? "no file" : c.file);
        TearDown();
        SetUp();
        if (c.file != nullptr) writeFile("pl2.ini", c.file);
        if (c.readOnly) chmod(path("pl2.ini").c_str(), 0444);
        answer(std::vector<RequesterAnswer>(c.messages.size(), {RequesterKind::Message, ""}));
        ASSERT_EQ(start(), ViewerStep::Continue);
        expectAllAnswered();
        std::vector<std::string> messages;
        for (const SeenRequester& seenOne : seen()) messages.push_back(seenOne.title + ": " + seenOne.text);
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(viewerState.zoom, c.read.zoom);
        EXPECT_EQ(viewerState.maxWidth, c.read.maxWidth);
        EXPECT_EQ(getAttribute(kWidthScroll, kScrollMaximum), c.widthMaximum);
        // clang-format off
        const int boxes[][3] = {{kMultiBox, kCommandMulti, c.read.multi}, {kGridBox, kCommandGrid, c.read.grid},
            {kInverseBox, kCommandInverse, c.read.inverse}, {kReverseBox, kCommandReverse, c.read.reverse}, {kPreviewBox, kCommandZoomPreview, 0}};
        // clang-format on
        for (const auto& [box, mark, state] : boxes) {
            EXPECT_EQ(getState(box), state) << box;
            EXPECT_EQ(getMenuCheck(kMainMenu, mark), state) << mark;
        }
        EXPECT_EQ(getState(kNibbleBox), 0);
        EXPECT_EQ(getMenuCheck(kMainMenu, kCommandBinary), 1);
        Stored written = c.read;
        for (const int onTop : {c.read.onTop, 1 - c.read.onTop}) {  // as read, then toggled: 2 gives -1
            if (onTop != c.read.onTop) command(kCommandStayOnTop);
            EXPECT_EQ(viewerState.stayOnTop, written.onTop = onTop);
            EXPECT_EQ(getMenuCheck(kMainMenu, kCommandStayOnTop), onTop != 0 ? 1 : 0);
            EXPECT_EQ(isOnTop(), onTop != 0);
        }
        EXPECT_EQ(finish(ViewerStep::Quit), 0);
        EXPECT_EQ(readFile("pl2.ini"), c.readOnly ? c.file : writtenSettings(written));
    }
}

}  // namespace

// "pl2.ini" read at start into the state, the controls and the menu, and written at the end.
#include <sys/stat.h>

#include "shell/controls.h"
#include "shell/window_shell.h"
#include "tests/viewer/viewer_driver.h"
#include "viewer/viewer_state.h"

namespace {

std::string writtenSettings(int zoom, int multi, int grid, int inverse, int reverse, int maxWidth,
                            int onTop) {
    auto line = [](const char* key, int value) {
        return std::string(key) + " = " + std::to_string(value) + "\r\n";
    };
    return "[Options]\r\n" + line("Zoom", zoom) + line("Multi", multi) + line("Grid", grid) +
           line("Inverse", inverse) + line("Reverse", reverse) + line("maxwidth", maxWidth) +
           line("ontop", onTop);
}

struct SettingsCase {
    const char* name;
    std::string file;  // "" for no settings file
    std::vector<std::string> messages;
    int zoom, maxWidth, widthMaximum;
    int multi, grid, inverse, reverse;  // box states, which the menu marks follow
    int onTop;
    std::string writtenAtExit;
};

void PrintTo(const SettingsCase& c, std::ostream* out) {
    *out << c.name;
}

class SettingsTest : public ViewerWindowTest, public testing::WithParamInterface<SettingsCase> {};

TEST_P(SettingsTest, ReadAtStartAndWrittenAtExit) {
    const SettingsCase& c = GetParam();
    if (!c.file.empty()) writeFile("pl2.ini", c.file);
    std::vector<RequesterAnswer> answers;
    for (size_t i = 0; i < c.messages.size(); ++i) answers.push_back({RequesterKind::Message, ""});
    answer(answers);
    ASSERT_EQ(start(), ViewerStep::Continue);
    expectAllAnswered();
    ASSERT_EQ(seen().size(), c.messages.size());
    for (size_t i = 0; i < c.messages.size(); ++i) {
        EXPECT_EQ(seen()[i].title, "Wrong settings");
        EXPECT_EQ(seen()[i].text, c.messages[i]);
    }
    EXPECT_EQ(viewerState.zoom, c.zoom);
    EXPECT_EQ(viewerState.maxWidth, c.maxWidth);
    EXPECT_EQ(getAttribute(kWidthScroll, 2), c.widthMaximum);
    const std::pair<int, int> boxes[] = {
        {kMultiBox, c.multi}, {kGridBox, c.grid}, {kInverseBox, c.inverse}, {kReverseBox, c.reverse}};
    const int marks[] = {kCommandMulti, kCommandGrid, kCommandInverse, kCommandReverse};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(getState(boxes[i].first), boxes[i].second);
        EXPECT_EQ(getMenuCheck(kMainMenu, marks[i]), boxes[i].second);
    }
    EXPECT_EQ(getState(kNibbleBox), 0);
    EXPECT_EQ(getState(kPreviewBox), 0);
    EXPECT_EQ(viewerState.stayOnTop, c.onTop);
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandStayOnTop), c.onTop != 0 ? 1 : 0);
    EXPECT_EQ(isOnTop(), c.onTop != 0);
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandBinary), 1);
    EXPECT_EQ(finish(ViewerStep::Quit), 0);
    EXPECT_EQ(readFile("pl2.ini"), c.writtenAtExit);
}

const std::string kDefaults = writtenSettings(1, 0, 0, 0, 0, 256, 0);

SettingsCase zoomCase(const char* name, const std::string& value) {
    return SettingsCase{name,
                        "[Options]\nzoom=" + value + "\n",
                        {"Zoom must be 1,2,4,8.Fixed"},
                        1,
                        256,
                        256,
                        0,
                        0,
                        0,
                        0,
                        0,
                        kDefaults};
}

SettingsCase widthCase(const char* name, int value, bool good) {
    const int width = good ? value : 75;
    return SettingsCase{
        name,
        "[Options]\r\nmaxwidth = " + std::to_string(value) + "\r\n",
        good ? std::vector<std::string>{} : std::vector<std::string>{"Bad maxwidth.Fixed to 75"},
        1,
        width,
        width,
        0,
        0,
        0,
        0,
        0,
        writtenSettings(1, 0, 0, 0, 0, width, 0)};
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SettingsTest,
    testing::Values(
        // Without a file the bar keeps the 255 it was created with.
        SettingsCase{"MissingFile", "", {}, 1, 256, 255, 0, 0, 0, 0, 0, kDefaults},
        SettingsCase{"EmptyFile", " ", {}, 1, 256, 256, 0, 0, 0, 0, 0, kDefaults},
        SettingsCase{"AllKeys",
                     "[Options]\r\nZoom = 8\r\nMulti = 1\r\nGrid = 0\r\nInverse = 1\r\nReverse = 1\r\n"
                     "maxwidth = 40\r\nontop = 1\r\n",
                     {},
                     8,
                     40,
                     40,
                     1,
                     0,
                     1,
                     1,
                     1,
                     writtenSettings(8, 1, 0, 1, 1, 40, 1)},
        zoomCase("ZoomThree", "3"), zoomCase("ZoomZero", "0"), zoomCase("ZoomSixteen", "16"),
        zoomCase("ZoomNotANumber", "big"), widthCase("MaxWidth256", 256, true),
        widthCase("MaxWidth1", 1, true), widthCase("MaxWidth257", 257, false),
        widthCase("MaxWidth0", 0, false), widthCase("MaxWidthMinus5", -5, false),
        SettingsCase{"BothMessagesZoomFirst",
                     "[Options]\nmaxwidth=300\nzoom=5\n",
                     {"Zoom must be 1,2,4,8.Fixed", "Bad maxwidth.Fixed to 75"},
                     1,
                     75,
                     75,
                     0,
                     0,
                     0,
                     0,
                     0,
                     writtenSettings(1, 0, 0, 0, 0, 75, 0)},
        SettingsCase{"GridSevenChecks",
                     "[Options]\r\nGrid = 7\r\n",
                     {},
                     1,
                     256,
                     256,
                     0,
                     1,
                     0,
                     0,
                     0,
                     writtenSettings(1, 0, 1, 0, 0, 256, 0)},
        SettingsCase{"OnTopTwo",
                     "[Options]\r\nontop = 2\r\n",
                     {},
                     1,
                     256,
                     256,
                     0,
                     0,
                     0,
                     0,
                     2,
                     writtenSettings(1, 0, 0, 0, 0, 256, 2)},
        SettingsCase{"KeysInAnotherGroup",
                     "[Other]\r\nzoom = 4\r\nGrid = 1\r\nmaxwidth = 9\r\n",
                     {},
                     1,
                     256,
                     256,
                     0,
                     0,
                     0,
                     0,
                     0,
                     kDefaults},
        SettingsCase{
            "KeysWithoutGroup", "zoom = 4\r\nGrid = 1\r\n", {}, 1, 256, 256, 0, 0, 0, 0, 0, kDefaults}),
    [](const testing::TestParamInfo<SettingsCase>& info) { return std::string(info.param.name); });

TEST_F(ViewerWindowTest, StayOnTopFromTwoAlternatesBetweenMinusOneAndTwo) {
    writeFile("pl2.ini", "[Options]\r\nontop = 2\r\n");
    ASSERT_EQ(start(), ViewerStep::Continue);
    for (int expected : {-1, 2, -1}) {
        command(kCommandStayOnTop);
        EXPECT_EQ(viewerState.stayOnTop, expected);
        EXPECT_EQ(getMenuCheck(kMainMenu, kCommandStayOnTop), 1);
        EXPECT_TRUE(isOnTop());
    }
    finish(ViewerStep::Quit);
    EXPECT_EQ(readFile("pl2.ini"), writtenSettings(1, 0, 0, 0, 0, 256, -1));
}

TEST_F(ViewerWindowTest, NextStartAllowsTheWidthWrittenAtExit) {
    ASSERT_EQ(start(), ViewerStep::Continue);
    EXPECT_EQ(getAttribute(kWidthScroll, 2), 255);
    finish(ViewerStep::Quit);
    ASSERT_EQ(start(), ViewerStep::Continue);
    EXPECT_EQ(getAttribute(kWidthScroll, 2), 256);
}

TEST_F(ViewerWindowTest, SettingsThatCannotBeWrittenAreSkippedSilently) {
    writeFile("pl2.ini", "[Options]\r\nzoom = 2\r\n");
    chmod(path("pl2.ini").c_str(), 0444);
    ASSERT_EQ(start(), ViewerStep::Continue);
    EXPECT_EQ(finish(ViewerStep::Quit), 0);
    EXPECT_EQ(readFile("pl2.ini"), "[Options]\r\nzoom = 2\r\n");
    EXPECT_TRUE(seen().empty());
}

}  // namespace

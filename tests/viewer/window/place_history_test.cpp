// Width changes that keep the first byte, and Back and Forward through the places jumped from.
#include <qnamespace.h>

#include <tuple>

#include "shell/controls.h"
#include "support/user_settings.h"
#include "tests/viewer/window/viewer_driver.h"
#include "viewer/window/own_settings.h"
#include "viewer/window/place_history.h"
#include "viewer/window/viewer_state.h"

namespace {

constexpr int kNesCommand = kCommandFirstMachine + 9;

class PlaceHistoryTest : public ViewerWindowTest {
   protected:
    static std::string shown() {
        return std::to_string(viewerState.byteOffset + getState(kOffsetSpin)) + "@" +
               std::to_string(getState(kWidthScroll)) + " row " + std::to_string(getState(kRowScroll)) + "/" +
               std::to_string(getState(kOffsetSpin)) + "/" + getText(kOffsetSpin);
    }
    static void moveWidthBar(int width) {
        setState(kWidthScroll, width);
        widthBarMoved();
    }
};

TEST_F(PlaceHistoryTest, AWidthChangeKeepsTheFirstByteOnlyWhenAsked) {
    startWithData(100000);
    // Keep, mode, width, row, offset; how the width changes (+1 Right, -1 Left, else the bar to it); shown
    // after.
    // clang-format off
    const std::tuple<bool, int, int, int, int, int, const char*> cases[] = {
        {false, kCommandBinary, 7, 1000, 3, 1, "8003@8 row 1000/3/3"},
        {true, kCommandBinary, 7, 1000, 3, 1, "7003@8 row 875/3/3"},
        {true, kCommandBinary, 7, 1000, 3, -1, "7003@6 row 1167/1/1"},
        {true, kCommandBinary, 7, 1000, 3, 200, "7003@200 row 35/3/3"},
        {true, kCommandBinary, 7, 0, -2, 1, "-2@8 row 0/-2/-2"},
        {true, kCommandBinary, 1, 0, 0, -1, "0@1 row 0/0/0"},  // at width 1 Left changes nothing
        {true, kNesCommand, 2, 9, 0, 1, "288@3 row 6/0/0"},  // 32, then 48 bytes a view row
    };
    // clang-format on
    for (const auto& [keep, mode, width, row, offset, change, after] : cases) {
        SCOPED_TRACE(after);
        if (keepsFirstByte() != keep) command(kCommandKeepFirstByte);
        command(mode);
        setView(width, row, offset);
        if (change == 1 || change == -1) {
            tapKey(change == 1 ? Qt::Key_Right : Qt::Key_Left);
        } else {
            moveWidthBar(change);
        }
        EXPECT_EQ(shown(), after);
    }
}

TEST_F(PlaceHistoryTest, KeepFirstByteIsRememberedInTheOwnSettingsFile) {
    startWithData(1000);
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandKeepFirstByte), 0);
    command(kCommandKeepFirstByte);
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandKeepFirstByte), 1);
    EXPECT_EQ(userSetting(readUserSettings(ownSettingsPath()), "keep-first-byte"), "1");
    finish();
    EXPECT_FALSE(exists("pl2.ini") && readFile("pl2.ini").find("keep") != std::string::npos);
    startWithData(1000);
    EXPECT_TRUE(keepsFirstByte());
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandKeepFirstByte), 1);
}

TEST_F(PlaceHistoryTest, BackAndForwardStepThroughThePlacesJumpedFrom) {
    startWithData(100000);
    setView(7, 10, 2);  // byte 72
    answer({{RequesterKind::Text, "300"}});
    command(kCommandGoToOffset);
    EXPECT_EQ(shown(), "300@7 row 42/6/6");
    command(kCommandZoom4);
    tapKey(Qt::Key_Right);  // a run of width changes is one place
    tapKey(Qt::Key_Right);
    EXPECT_EQ(shown(), "384@9 row 42/6/6");
    tapKey(Qt::Key_End);
    command(kCommandBack);
    EXPECT_EQ(shown(), "384@9 row 42/6/6");
    command(kCommandBack);
    EXPECT_EQ(shown() + " x" + std::to_string(viewerState.zoom), "300@7 row 42/6/6 x4");
    command(kCommandBack);
    EXPECT_EQ(shown() + " x" + std::to_string(viewerState.zoom), "72@7 row 10/2/2 x1");
    command(kCommandBack);  // nothing further back
    EXPECT_EQ(shown(), "72@7 row 10/2/2");
    command(kCommandForward);
    command(kCommandForward);
    EXPECT_EQ(shown(), "384@9 row 42/6/6");
    // A jump drops the places ahead; 100 places are kept.
    for (int i = 0; i < 105; ++i) {
        answer({{RequesterKind::Text, std::to_string(i * 10)}});
        command(kCommandGoToOffset);
    }
    command(kCommandForward);
    EXPECT_EQ(shown(), "1040@9 row 115/5/5");  // the last jump
    int backs = 0;
    for (std::string was; was != shown(); ++backs) {
        was = shown();
        command(kCommandBack);
    }
    EXPECT_EQ(backs - 1, 100);
    EXPECT_EQ(shown(), "40@9 row 4/4/4");
}

TEST_F(PlaceHistoryTest, AltArrowsAreBackAndForwardAndMoveNoWidth) {
    startWithData(1000);
    setView(7, 10, 2);
    answer({{RequesterKind::Text, "300"}});
    command(kCommandGoToOffset);
    pressKey(Qt::Key_Alt);
    tapKey(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(shown(), "72@7 row 10/2/2");
    tapKey(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(shown(), "300@7 row 42/6/6");
    releaseKey(Qt::Key_Alt);
}

}  // namespace

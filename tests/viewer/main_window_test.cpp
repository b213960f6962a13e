// The main window: its controls and menus, the key polls, the wheel, the canvas mouse, the
// commands and the ordered exit.
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>
#include <QWidget>
#include <fstream>
#include <iterator>

#include "shell/controls.h"
#include "shell/event_queue.h"
#include "shell/window_shell.h"
#include "tests/viewer/viewer_driver.h"
#include "viewer/viewer_state.h"

namespace {

class MainWindowTest : public ViewerWindowTest {
   protected:
    void startWithData(int64_t size) {
        ASSERT_EQ(startWithFile("data.bin", countingBytes(size)), ViewerStep::Continue);
    }
    static void setWidth(int width) {
        setState(kWidthScroll, width);
        applyScroll();
    }
    static void setRow(int row) {
        setState(kRowScroll, row);
        applyScroll();
    }
    static void clickOffsetArrow(Qt::ArrowType arrow) {
        for (auto* button : static_cast<QWidget*>(windowHandle(kMainWindow))->findChildren<QToolButton*>()) {
            if (button->arrowType() == arrow) button->click();
        }
    }
};

// ---- Start -------------------------------------------------------------------------------------

struct ControlRow {
    int number, x, y, width, height;
    const char* caption;
    const char* toolTip;
};

TEST_F(MainWindowTest, StartBuildsTheControlsOfTheTable) {
    ASSERT_EQ(start(), ViewerStep::Continue);
    const ControlRow rows[] = {
        {kCanvas, 0, 0, 600, 512, "", ""},
        {kRowScroll, 600, 0, 20, 512, "", ""},
        {kWidthScroll, 0, 512, 600, 20, "", ""},
        {kInverseBox, 0, 532, 30, 20, "i", "inverse byte"},
        {kReverseBox, 40, 532, 40, 20, "R", "reverse byte"},
        {kGridBox, 80, 532, 40, 20, "g", "grid"},
        {kMultiBox, 120, 532, 40, 20, "m", "Multi column"},
        {kNibbleBox, 160, 532, 40, 20, "n", "Nibble Swap"},
        {kPreviewBox, 200, 532, 40, 20, "z", "zoomed preview"},
    };
    for (const ControlRow& row : rows) {
        SCOPED_TRACE(row.number);
        auto* widget = static_cast<QWidget*>(controlHandle(row.number));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), QRect(row.x, row.y, row.width, row.height));
        EXPECT_EQ(widget->toolTip().toStdString(), row.toolTip);
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            EXPECT_EQ(button->text().toStdString(), row.caption);
            EXPECT_EQ(getState(row.number), 0);
        }
    }
    auto* spin = static_cast<QWidget*>(controlHandle(kOffsetSpin));
    EXPECT_EQ(spin->geometry().topLeft(), QPoint(240, 532));
    EXPECT_EQ(spin->toolTip().toStdString(), "offset");
    struct Range {
        int number, minimum, maximum, state;
    };
    for (const Range& range :
         {Range{kRowScroll, 0, 32, 0}, Range{kWidthScroll, 1, 255, 1}, Range{kOffsetSpin, -1, 1, 0}}) {
        SCOPED_TRACE(range.number);
        EXPECT_EQ(getAttribute(range.number, 1), range.minimum);
        EXPECT_EQ(getAttribute(range.number, 2), range.maximum);
        EXPECT_EQ(getState(range.number), range.state);
    }
    EXPECT_EQ(title(), "Pixloupe 2d");
    EXPECT_EQ(canvasPixel(0, 0), 0);
    EXPECT_EQ(canvasPixel(599, 511), 0);
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandBinary), 1);
}

// The menu bar as text: drop-downs and submenus in braces, items separated by "|", a checkable
// item marked with "*" and a checked one with "+".
std::string outline(const QList<QAction*>& actions) {
    std::string text;
    for (QAction* action : actions) {
        if (!text.empty()) text += "|";
        if (action->isSeparator()) {
            text += "-";
            continue;
        }
        text += action->text().toStdString();
        if (action->isChecked()) {
            text += "+";
        } else if (action->isCheckable()) {
            text += "*";
        }
        if (action->menu() != nullptr) text += "{" + outline(action->menu()->actions()) + "}";
    }
    return text;
}

TEST_F(MainWindowTest, MenuBarHoldsTheItemsInOrder) {
    ASSERT_EQ(start(), ViewerStep::Continue);
    auto* bar = static_cast<QWidget*>(windowHandle(kMainWindow))->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    std::string text = outline(bar->actions());
    // Whether the platform marks an item checkable before its first check is its own business.
    std::erase(text, '*');
    EXPECT_EQ(
        text,
        "File{Open...\tCtrl+O|Save binary...|Save image...|-|Quit|-|Save selection as image...\tCtrl+E|"
        "Save selection as binary...\tCtrl+Shift+E}|"
        "View{Zoom{zoom preview\tCtrl+Z|zoom x1\tCtrl+1|zoom x2\tCtrl+2|zoom x4\tCtrl+4|zoom x8\tCtrl+8}|"
        "Color mode{Binary+|Atari GR.15|BK-0010|Sam Coupe mode 4|-|Computers{Chunky 8 bpp|CPC mode 0|CPC "
        "mode "
        "1|Amiga 4 bitplanes|Amiga 5 bitplanes|Atari ST low|8x8 cells|8x8 cells, wide|ZX Spectrum screen}|"
        "Consoles{NES tiles|Game Boy tiles|SNES 4 bpp tiles|Master System tiles|Genesis tiles|GBA 4 bpp "
        "tiles}}|"
        "Grid	Ctrl+G|Inverse	Ctrl+I|Multi columns	Ctrl+M|Reverse byte	Ctrl+R|Stay on top	"
        "Ctrl+T|"
        "Go to offset...	Ctrl+J|"
        "Guess width	Ctrl+W|Next graphics	Ctrl+N|Previous graphics	Ctrl+B}|"
        "x1|x2|x4|x8");
}

TEST_F(MainWindowTest, ShortcutsGiveTheirCommands) {
    ASSERT_EQ(start(), ViewerStep::Continue);
    // clang-format off
    const std::pair<int, int> shortcuts[] = {
        {'O', kCommandOpen},    {'G', kCommandGrid},      {'I', kCommandInverse},     {'M', kCommandMulti},
        {'R', kCommandReverse}, {'T', kCommandStayOnTop}, {'Z', kCommandZoomPreview}, {'1', kCommandZoom1},
        {'2', kCommandZoom2},   {'4', kCommandZoom4},     {'8', kCommandZoom8},
        {'J', kCommandGoToOffset}, {'E', kCommandSaveSelectionImage},
        {kShortcutShift | 'E', kCommandSaveSelectionBinary}, {'W', kCommandGuessWidth},
        {'N', kCommandNextGraphics}, {'B', kCommandPreviousGraphics},
    };
    // clang-format on
    EXPECT_EQ(shortcutCount(kMainWindow), 2 + 17);  // Tab and Shift+Tab come with every window
    for (const auto& [key, id] : shortcuts) {
        SCOPED_TRACE(key);
        EXPECT_EQ(shortcutCommand(kMainWindow, kShortcutControl | key), id);
    }
}

TEST_F(MainWindowTest, ControlShortcutKeyReachesTheLoopAsItsCommand) {
    startWithData(64);
    pressKey(Qt::Key_2, Qt::ControlModifier);
    releaseKey(Qt::Key_2, Qt::ControlModifier);
    drain();
    EXPECT_EQ(viewerState.zoom, 2);
    EXPECT_EQ(title(), "Pixloupe 2d,x2");
}

// ---- Commands ----------------------------------------------------------------------------------

TEST_F(MainWindowTest, ZoomCommandsKeepOffsetAndWidth) {
    startWithData(4096);
    setWidth(3);
    setRow(10);
    const std::pair<int, int> zooms[] = {
        {kCommandZoom8, 8}, {kCommandZoom2, 2}, {kCommandZoom4, 4}, {kCommandZoom1, 1}};
    for (const auto& [id, zoom] : zooms) {
        SCOPED_TRACE(zoom);
        EXPECT_EQ(command(id), ViewerStep::Continue);
        EXPECT_EQ(viewerState.zoom, zoom);
        EXPECT_EQ(getState(kRowScroll), 10);
        EXPECT_EQ(getState(kWidthScroll), 3);
        EXPECT_EQ(viewerState.byteOffset, 30);
        EXPECT_EQ(title(), "Pixloupe 2d,x" + std::to_string(zoom));
        // A render outside a canvas event sees the mouse at 0, 0.
        EXPECT_EQ(status(), "Disp=30,width=3,x=0,y=0,size=0");
    }
}

TEST_F(MainWindowTest, OptionCommandsFlipCheckMarkAndBoxTogether) {
    startWithData(64);
    const std::pair<int, int> options[] = {{kCommandGrid, kGridBox},
                                           {kCommandInverse, kInverseBox},
                                           {kCommandReverse, kReverseBox},
                                           {kCommandMulti, kMultiBox}};
    for (const auto& [id, box] : options) {
        SCOPED_TRACE(id);
        markStatus();
        command(id);
        EXPECT_EQ(getMenuCheck(kMainMenu, id), 1);
        EXPECT_EQ(getState(box), 1);
        EXPECT_TRUE(rendered());
        command(id);
        EXPECT_EQ(getMenuCheck(kMainMenu, id), 0);
        EXPECT_EQ(getState(box), 0);
    }
}

TEST_F(MainWindowTest, CheckBoxClicksRenderAndMoveTheirCheckMarks) {
    startWithData(64);
    const std::pair<int, int> boxes[] = {{kGridBox, kCommandGrid},
                                         {kInverseBox, kCommandInverse},
                                         {kReverseBox, kCommandReverse},
                                         {kMultiBox, kCommandMulti}};
    for (const auto& [box, id] : boxes) {
        SCOPED_TRACE(box);
        markStatus();
        clickCheckBox(box);
        drain();
        EXPECT_EQ(getState(box), 1);
        EXPECT_EQ(getMenuCheck(kMainMenu, id), 1);
        EXPECT_TRUE(rendered());
    }
    markStatus();
    clickCheckBox(kNibbleBox);
    drain();
    EXPECT_TRUE(rendered());
}

TEST_F(MainWindowTest, ColourModeCommandsCheckOnlyTheirItem) {
    startWithData(64);
    // The four, then the other machines' modes from command 60 on, and back to the four.
    for (const int mode : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 2}) {
        const int id = mode < 4 ? kCommandBinary + mode : kCommandFirstMachine + mode - 4;
        SCOPED_TRACE(id);
        markStatus();
        command(id);
        EXPECT_EQ(viewerState.colourMode, mode);
        for (int item = 0; item < 19; ++item) {
            const int itemId = item < 4 ? kCommandBinary + item : kCommandFirstMachine + item - 4;
            EXPECT_EQ(getMenuCheck(kMainMenu, itemId), item == mode ? 1 : 0);
        }
        EXPECT_TRUE(rendered());
    }
}

TEST_F(MainWindowTest, StayOnTopTwiceReturnsToANormalWindowWithoutRendering) {
    startWithData(64);
    markStatus();
    command(kCommandStayOnTop);
    EXPECT_EQ(viewerState.stayOnTop, 1);
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandStayOnTop), 1);
    EXPECT_TRUE(isOnTop());
    command(kCommandStayOnTop);
    EXPECT_EQ(viewerState.stayOnTop, 0);
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandStayOnTop), 0);
    EXPECT_FALSE(isOnTop());
    EXPECT_FALSE(rendered());
}

TEST_F(MainWindowTest, ZoomPreviewAtZoom4ChecksAndRendersButDrawsNoPreview) {
    startWithData(8192);
    command(kCommandZoom4);
    moveMouseOnCanvas(10, 10);
    moveMouseOnCanvas(40, 40);
    drain();
    markStatus();
    command(kCommandZoomPreview);
    EXPECT_EQ(getState(kPreviewBox), 1);
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandZoomPreview), 1);
    EXPECT_TRUE(rendered());
    for (int y = 0; y < 512; y += 3) {
        for (int x = 0; x < 600; x += 3) ASSERT_EQ(canvasPixel(x, y), sheetPixel(x, y)) << x << "," << y;
    }
    // Clicking the box itself leaves the check mark of the command alone.
    clickCheckBox(kPreviewBox);
    drain();
    EXPECT_EQ(getState(kPreviewBox), 0);
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandZoomPreview), 1);
}

TEST_F(MainWindowTest, QuitCloseBoxAndEscapeEndTheLoop) {
    startWithData(64);
    EXPECT_EQ(command(kCommandQuit), ViewerStep::Quit);
    postEvent(kEventClose, kMainWindow, kMainWindow, 0);
    EXPECT_EQ(handleNext(), ViewerStep::Quit);
    // Escape held while any event arrives ends the loop without handling that event.
    pressKey(Qt::Key_Escape);
    postEvent(kEventMenu, kCommandZoom8, kMainWindow, 0);
    EXPECT_EQ(handleNext(), ViewerStep::Quit);
    EXPECT_EQ(viewerState.zoom, 1);
    releaseKey(Qt::Key_Escape);
}

TEST_F(MainWindowTest, ExitWritesTheSettingsAndEndsWithZero) {
    startWithData(64);
    command(kCommandZoom4);
    EXPECT_EQ(finish(ViewerStep::Quit), 0);
    EXPECT_EQ(
        readFile("pl2.ini"),
        "[Options]\r\nZoom = 4\r\nMulti = 0\r\nGrid = 0\r\nInverse = 0\r\nReverse = 0\r\nmaxwidth = 256\r\n"
        "ontop = 0\r\n");
    EXPECT_EQ(windowHandle(kMainWindow), nullptr);
    EXPECT_EQ(imageHandle(0), nullptr);
    EXPECT_EQ(viewerState.dataBuffer, nullptr);
}

// ---- Arrow keys --------------------------------------------------------------------------------

struct ArrowCase {
    const char* name;
    int key;
    int width, row;  // before; 100 bytes are loaded and maxWidth is 10
    int expectedWidth, expectedRow;
    bool renders;
};

void PrintTo(const ArrowCase& c, std::ostream* out) {
    *out << c.name;
}

class ArrowKeyTest : public MainWindowTest, public testing::WithParamInterface<ArrowCase> {};

TEST_P(ArrowKeyTest, MovesOneStepOrNothingAtTheEnd) {
    const ArrowCase& c = GetParam();
    startWithData(100);
    viewerState.maxWidth = 10;
    setAttribute(kWidthScroll, 2, 10);
    setWidth(c.width);
    setRow(c.row);
    tapKey(c.key);
    EXPECT_EQ(getState(kWidthScroll), c.expectedWidth);
    EXPECT_EQ(viewerState.bytesPerRow, c.expectedWidth);
    EXPECT_EQ(getState(kRowScroll), c.expectedRow);
    EXPECT_EQ(rendered(), c.renders);
}

INSTANTIATE_TEST_SUITE_P(Keys, ArrowKeyTest,
                         testing::Values(ArrowCase{"RightWidens", Qt::Key_Right, 9, 0, 10, 0, true},
                                         ArrowCase{"RightAtMaxWidth", Qt::Key_Right, 10, 0, 10, 0, false},
                                         ArrowCase{"LeftNarrows", Qt::Key_Left, 5, 0, 4, 0, true},
                                         ArrowCase{"LeftAtWidthOne", Qt::Key_Left, 1, 0, 1, 0, false},
                                         ArrowCase{"UpScrollsBack", Qt::Key_Up, 1, 5, 1, 4, true},
                                         ArrowCase{"UpAtRowZero", Qt::Key_Up, 1, 0, 1, 0, false},
                                         ArrowCase{"DownScrollsOn", Qt::Key_Down, 1, 0, 1, 1, true},
                                         ArrowCase{"DownAtLastRow", Qt::Key_Down, 4, 25, 4, 25, false}),
                         [](const testing::TestParamInfo<ArrowCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(MainWindowTest, HeldArrowStepsOnEveryEvent) {
    startWithData(100);
    drain();
    pressKey(Qt::Key_Right);
    handleNext();  // the press itself
    for (int i = 0; i < 3; ++i) {
        postEvent(kEventRepaint, kMainWindow, kMainWindow, 0);
        handleNext();
    }
    releaseKey(Qt::Key_Right);
    drain();
    EXPECT_EQ(getState(kWidthScroll), 5);
}

// The view starts where the bar shows, after the new maximum has clamped the bar.
TEST_F(MainWindowTest, WideningFarDownFollowsTheClampedBar) {
    startWithData(1001);
    setRow(900);
    drain();
    pressKey(Qt::Key_Right);
    handleNext();
    releaseKey(Qt::Key_Right);
    drain();
    EXPECT_EQ(getState(kWidthScroll), 2);
    EXPECT_EQ(getAttribute(kRowScroll, 2), 500);
    EXPECT_EQ(getState(kRowScroll), 500);
    EXPECT_EQ(viewerState.byteOffset, 1000);
    EXPECT_EQ(status(), "Disp=1000,width=2,x=0,y=0,size=0");
    setWidth(64);
    EXPECT_EQ(getState(kRowScroll), 15);
    EXPECT_EQ(status(), "Disp=960,width=64,x=0,y=0,size=0");
}

// ---- Mouse wheel -------------------------------------------------------------------------------

struct WheelCase {
    const char* name;
    int row;  // before; 100 bytes at width 1, so the last row is 100
    int delta;
    int expectedRow;
    bool renders;
};

void PrintTo(const WheelCase& c, std::ostream* out) {
    *out << c.name;
}

class WheelTest : public MainWindowTest, public testing::WithParamInterface<WheelCase> {};

TEST_P(WheelTest, MovesSixteenRowsPerMessage) {
    const WheelCase& c = GetParam();
    startWithData(100);
    setRow(c.row);
    drain();
    markStatus();
    turnWheel(c.delta);
    drain();
    EXPECT_EQ(getState(kRowScroll), c.expectedRow);
    EXPECT_EQ(rendered(), c.renders);
}

INSTANTIATE_TEST_SUITE_P(Wheel, WheelTest,
                         testing::Values(WheelCase{"TowardUserGoesDown", 0, -120, 16, true},
                                         WheelCase{"AnyDeltaMovesSixteen", 0, -1, 16, true},
                                         WheelCase{"TowardUserAtLastRowStillRenders", 100, -120, 100, true},
                                         WheelCase{"TowardUserNearTheEndStopsAtLastRow", 90, -240, 100, true},
                                         WheelCase{"AwayAtRowSixteenDoesNothing", 16, 120, 16, false},
                                         WheelCase{"AwayAtRowOneDoesNothing", 1, 120, 1, false},
                                         WheelCase{"AwayAtRowSeventeenGoesToOne", 17, 120, 1, true}),
                         [](const testing::TestParamInfo<WheelCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- Canvas mouse ------------------------------------------------------------------------------

struct JumpCase {
    const char* name;
    int64_t dataSize;
    int width;
    bool multi;
    int x, y;            // the right click on the canvas
    std::string choice;  // "" closes the popup
    int jumpRow;         // the row the click asks for
    int expectedRow;
};

void PrintTo(const JumpCase& c, std::ostream* out) {
    *out << c.name;
}

class JumpTest : public MainWindowTest, public testing::WithParamInterface<JumpCase> {};

TEST_P(JumpTest, RightClickOffersJumpHere) {
    const JumpCase& c = GetParam();
    startWithData(c.dataSize);
    if (c.multi) command(kCommandMulti);
    setWidth(c.width);
    drain();
    answer({{RequesterKind::Popup, c.choice}});
    rightClickCanvas(c.x, c.y);
    drain();
    drain();
    expectAllAnswered();
    ASSERT_FALSE(seen().empty());
    EXPECT_EQ(seen().back().text, "jump here;");
    EXPECT_EQ(getState(kRowScroll), c.expectedRow);
    EXPECT_EQ(viewerState.byteOffset, c.expectedRow * c.width);
    EXPECT_EQ(viewerState.jumpRow, c.choice.empty() ? c.jumpRow : -1);
    EXPECT_EQ(viewerState.mouseCellX, c.x);
    EXPECT_EQ(viewerState.mouseCellY, c.y);
}

INSTANTIATE_TEST_SUITE_P(
    Canvas, JumpTest,
    testing::Values(
        // Column 2 of 512 rows plus row 100.
        JumpCase{"JumpsToTheRowOfTheByte", 2000, 1, false, 20, 100, "jump here", 1124, 1124},
        JumpCase{"JumpBeyondTheEndStopsAtLastRow", 500, 1, false, 20, 100, "jump here", 1124, 500},
        JumpCase{"ClosedPopupLeavesTheJumpPending", 2000, 1, false, 20, 100, "", 1124, 0},
        // Byte column 21 is byte 1 of strip 5: byte 5 x 2048 + 496 x 4 + 1 = 12225, in row 3056.
        JumpCase{"WideRowsOnAFarStrip", 20000, 4, true, 168, 496, "jump here", 3056, 3056}),
    [](const testing::TestParamInfo<JumpCase>& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, JumpHereWithoutPendingJumpDoesNothing) {
    startWithData(2000);
    setRow(7);
    markStatus();
    command(kCommandJumpHere);
    EXPECT_EQ(getState(kRowScroll), 7);
    EXPECT_FALSE(rendered());
}

TEST_F(MainWindowTest, MouseMoveWritesTheDispStatus) {
    startWithData(4096);
    command(kCommandZoom2);
    setWidth(3);
    drain();
    markStatus();
    moveMouseOnCanvas(1, 1);  // the first movement only reports that the mouse entered
    drain();
    EXPECT_EQ(status(), "-");
    moveMouseOnCanvas(17, 5);
    drain();
    EXPECT_EQ(status(), "Disp:0,width=3,x=8,y=2,size:7");
    EXPECT_EQ(viewerState.mouseCellX, 8);
    EXPECT_EQ(viewerState.mouseCellY, 2);
}

TEST_F(MainWindowTest, SpinBoxShowsItsValueAndGivesTheFocusToInverseBox) {
    startWithData(64);
    setWidth(4);
    setFocus(kOffsetSpin);
    drain();
    pressKey(Qt::Key_Up);
    releaseKey(Qt::Key_Up);
    drain();
    EXPECT_EQ(getState(kOffsetSpin), 1);
    EXPECT_EQ(getText(kOffsetSpin), "1");
    EXPECT_EQ(status(), "Disp=1,width=4,x=0,y=0,size=0");
    EXPECT_TRUE(hasFocus(kInverseBox));
}

TEST_F(MainWindowTest, ApplyScrollSetsTheRangesFromTheWidth) {
    startWithData(1000);
    setWidth(7);
    EXPECT_EQ(getAttribute(kRowScroll, 2), 1000 / 7);
    EXPECT_EQ(getAttribute(kOffsetSpin, 1), -7);
    EXPECT_EQ(getAttribute(kOffsetSpin, 2), 7);
}

TEST_F(MainWindowTest, NarrowingTheWidthClampsTheOffset) {
    startWithData(1000);
    setWidth(10);
    setRow(5);
    clickOffsetArrow(Qt::UpArrow);
    drain();
    setState(kOffsetSpin, 10);
    setWidth(1);
    EXPECT_EQ(getState(kOffsetSpin), 1);
    EXPECT_EQ(getText(kOffsetSpin), "1");
    EXPECT_EQ(status(), "Disp=6,width=1,x=0,y=0,size=0");
}

// The largest file that loads, sparse: 2^31 - 1 bytes at width 1, at its last row.
TEST_F(MainWindowTest, SumsAtTheLastRowOfTheLargestFileDoNotWrap) {
    writeFile("huge.bin", "");
    ASSERT_EQ(truncate(path("huge.bin").c_str(), INT32_MAX), 0);
    ASSERT_EQ(start({path("huge.bin")}), ViewerStep::Continue);
    setRow(INT32_MAX);
    drain();
    ASSERT_EQ(getState(kRowScroll), INT32_MAX);
    markStatus();
    turnWheel(-120);
    drain();
    EXPECT_EQ(getState(kRowScroll), INT32_MAX);
    EXPECT_EQ(status(), "Disp=2147483647,width=1,x=0,y=0,size=0");
    clickOffsetArrow(Qt::UpArrow);
    drain();
    EXPECT_EQ(status(), "Disp=2147483648,width=1,x=0,y=0,size=0");
    // The one byte past the end, drawn as 0, then the checkerboard.
    EXPECT_EQ(sheetPixel(1, 0), 0x000000);
    EXPECT_EQ(sheetPixel(0, 1), 0xFFFF00);
}

}  // namespace

// ---- Finding graphics ---------------------------------------------------------------------------

TEST_F(MainWindowTest, FindCommandsMoveTheViewToWhatTheFinderSees) {
    std::ifstream sample(PL_SAMPLE_PATH, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(sample)), std::istreambuf_iterator<char>());
    ASSERT_EQ(startWithFile("sample.bin", bytes), ViewerStep::Continue);
    command(kCommandSamCoupe);
    struct Row {
        int command;
        int width, row, offset;  // the view before the command
        int wantWidth;
        int64_t wantFirst;
    };
    const Row rows[] = {
        {kCommandGuessWidth, 7, 3510, 6, 64, 24576},       // the first byte stays where it was
        {kCommandNextGraphics, 1, 0x5000, 0, 64, 26496},   // next region after the first byte
        {kCommandPreviousGraphics, 64, 384, 0, 6, 18498},  // the region before it
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        scrollTo(row.width, 0);  // the row bar's range follows the width first
        scrollTo(row.width, row.row);
        setAttribute(kOffsetSpin, 1, -row.width);
        setState(kOffsetSpin, row.offset);
        markStatus();
        command(row.command);
        EXPECT_EQ(getState(kWidthScroll), row.wantWidth);
        EXPECT_EQ(viewerState.byteOffset + getState(kOffsetSpin), row.wantFirst);
        EXPECT_EQ(status().rfind("Disp=" + std::to_string(row.wantFirst) + ",width=", 0), 0u) << status();
    }
}

TEST_F(MainWindowTest, FindCommandsThatFindNothingSaySoAndKeepTheView) {
    ASSERT_EQ(startWithFile("flat.bin", std::string(100000, '\0')), ViewerStep::Continue);
    scrollTo(3, 10);
    const std::pair<int, const char*> rows[] = {
        {kCommandGuessWidth, "No picture found from byte 30 in this colour mode"},
        {kCommandNextGraphics, "No graphics found after byte 30 in this colour mode"},
        {kCommandPreviousGraphics, "No graphics found before byte 30 in this colour mode"}};
    for (const auto& [id, text] : rows) {
        command(id);
        EXPECT_EQ(status(), text);
        EXPECT_EQ(getState(kWidthScroll), 3);
        EXPECT_EQ(viewerState.byteOffset, 30);
    }
    command(colourModeCommand(kModeZx));  // rows of 3 screens: the finder knows the four only
    scrollTo(3, 1);
    for (const auto& [id, text] : rows) {
        command(id);
        EXPECT_EQ(status(),
                  "Guess width, Next graphics and Previous graphics work in the four classic modes only");
        EXPECT_EQ(viewerState.byteOffset, 3 * 6912);
    }
}

// The main window: commands and their boxes, keys, wheel, canvas mouse, offset box, find commands, exit.
#include <unistd.h>

#include <QMenu>
#include <QToolButton>
#include <tuple>

#include "shell/controls.h"
#include "tests/viewer/window/viewer_driver.h"
#include "viewer/engine/mode_table.h"
#include "viewer/window/mode_menu.h"
#include "viewer/window/viewer_state.h"

namespace {

using MainWindowTest = ViewerWindowTest;

std::string view() {
    return std::to_string(getState(kWidthScroll)) + "/" + std::to_string(getState(kRowScroll));
}

// Zoom keeps the first byte and width; a command and its box flip both; a mode checks only its item.
TEST_F(MainWindowTest, CommandsAndBoxesKeepTheirMarksTogether) {
    startWithData(4096);
    std::string layout;  // the window's size, then each control's place
    for (const int n : {-1, kCanvas, kRowScroll, kWidthScroll, kInverseBox, kReverseBox, kGridBox, kMultiBox,
                        kNibbleBox, kPreviewBox, kOffsetSpin}) {
        const auto* widget = static_cast<QWidget*>(n < 0 ? windowHandle(kMainWindow) : controlHandle(n));
        const QRect r = n < 0 ? QRect(QPoint(), widget->size()) : widget->geometry();
        layout += testing::PrintToString(std::array{r.x(), r.y(), r.width(), r.height()});
    }
    EXPECT_EQ(layout,
              "{ 0, 0, 620, 602 }{ 0, 0, 600, 512 }{ 600, 0, 20, 512 }{ 0, 512, 600, 20 }{ 0, 532, 30, 20 }"
              "{ 40, 532, 40, 20 }{ 80, 532, 40, 20 }{ 120, 532, 40, 20 }{ 160, 532, 40, 20 }"
              "{ 200, 532, 40, 20 }{ 240, 532, 62, 20 }");
    std::string fileMenu;  // "-" for a separator
    for (QAction* item : static_cast<QWidget*>(windowHandle(kMainWindow))->findChild<QMenu*>()->actions())
        fileMenu += (item->isSeparator() ? "-" : item->text().toStdString()) + ";";
    EXPECT_EQ(fileMenu,
              "Open...\tCtrl+O;Save binary...;Save image...;-;Quit;-;Save selection as image...\tCtrl+E;"
              "Save selection as binary...\tCtrl+Shift+E;");
    scrollTo(3, 10);
    tapKey(Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(title(), "Pixloupe 2d,x2");
    const int zooms[][2] = {{kCommandZoom8, 8}, {kCommandZoom2, 2}, {kCommandZoom4, 4}, {kCommandZoom1, 1}};
    for (const auto& [id, zoom] : zooms) {
        command(id);
        EXPECT_EQ(title() + status(),
                  "Pixloupe 2d,x" + std::to_string(zoom) + "Disp=30,width=3,x=0,y=0,size=0");
    }
    // clang-format off
    const int boxes[][2] = {{kCommandGrid, kGridBox}, {kCommandInverse, kInverseBox}, {kCommandReverse, kReverseBox}, {kCommandMulti, kMultiBox}};
    // clang-format on
    for (const auto& [id, box] : boxes) {
        for (const bool byBox : {false, true, false, true}) {
            const int before = getState(box);
            markStatus();
            byBox ? clickCheckBox(box) : (void)command(id);
            drain();
            EXPECT_EQ(getState(box) + getMenuCheck(kMainMenu, id), 2 - 2 * before) << id;
            EXPECT_TRUE(rendered()) << id;
        }
    }
    markStatus();
    clickCheckBox(kNibbleBox), drain();
    EXPECT_TRUE(rendered());
    for (const int mode : {0, 1, 2, 3, 4, 9, 13, kModeTableSize - 1, 2}) {
        markStatus();
        command(colourModeCommand(mode));
        EXPECT_EQ(viewerState.colourMode, mode);
        for (int item = 0; item < kModeTableSize; ++item)
            EXPECT_EQ(getMenuCheck(kMainMenu, colourModeCommand(item)), item == mode) << mode << " " << item;
        EXPECT_TRUE(rendered());
    }
    command(kCommandZoom4);
    moveMouseOnCanvas(10, 10);
    moveMouseOnCanvas(40, 40);
    command(kCommandZoomPreview);
    EXPECT_EQ(getState(kPreviewBox) + getMenuCheck(kMainMenu, kCommandZoomPreview), 2);
    for (int y = 0; y < 512; y += 3)
        for (int x = 0; x < 600; x += 3) ASSERT_EQ(canvasPixel(x, y), sheetPixel(x, y)) << x << "," << y;
    clickCheckBox(kPreviewBox), drain();
    EXPECT_EQ(getState(kPreviewBox) + getMenuCheck(kMainMenu, kCommandZoomPreview), 1);
}

TEST_F(MainWindowTest, QuitCloseBoxAndEscapeEndTheLoopAndExitFreesEverything) {
    ASSERT_EQ(start({}), ViewerStep::Continue);
    EXPECT_EQ(getAttribute(kRowScroll, kScrollMaximum), 32);  // no file yet: the bar's first range
    finish(ViewerStep::EndAtOnce);
    startWithData(64);
    EXPECT_EQ(command(kCommandQuit), ViewerStep::Quit);
    postEvent(kEventClose, kMainWindow, kMainWindow, 0);
    EXPECT_EQ(handleNext(), ViewerStep::Quit);
    pressKey(Qt::Key_Escape);
    postEvent(kEventMenu, kCommandZoom4, kMainWindow, 0);
    EXPECT_EQ(handleNext(), ViewerStep::Quit);
    releaseKey(Qt::Key_Escape);
    EXPECT_EQ(title(), "Pixloupe 2d,x1");
    command(kCommandZoom4);
    EXPECT_EQ(finish(ViewerStep::Quit), 0);
    EXPECT_NE(readFile("pl2.ini").find("Zoom = 4"), std::string::npos);
    EXPECT_TRUE(windowHandle(kMainWindow) == nullptr && imageHandle(0) == nullptr && !viewerState.dataBuffer);
}

// Arrows move one step or none at the end, rendering only when they moved; the wheel 16 rows a message.
TEST_F(MainWindowTest, ArrowKeysAndTheWheel) {
    // A key (kPad: on the keypad) or else a wheel turn of -key; width and row before, after; renders.
    constexpr int kPad = Qt::KeypadModifier;
    // clang-format off
    const std::tuple<int, int, int, const char*, bool> cases[] = {
        {Qt::Key_Right, 9, 0, "10/0", true},    {Qt::Key_Right, 10, 0, "10/0", false},
        {Qt::Key_Left, 5, 0, "4/0", true},      {Qt::Key_Left, 1, 0, "1/0", false},
        {Qt::Key_Up | kPad, 1, 5, "1/4", true}, {Qt::Key_Up, 1, 0, "1/0", false},
        {Qt::Key_Down, 1, 0, "1/1", true},      {Qt::Key_Down, 4, 25, "4/25", false},
        {120, 1, 0, "1/16", true},              {1, 1, 0, "1/16", true},
        {240, 1, 90, "1/100", true},            {-120, 1, 16, "1/16", false},
        {-120, 1, 1, "1/1", false},             {-120, 1, 17, "1/1", true},
    };
    // clang-format on
    startWithData(100);
    viewerState.maxWidth = 10;
    setAttribute(kWidthScroll, 2, 10);
    for (const auto& [key, width, row, after, renders] : cases) {
        SCOPED_TRACE(testing::Message() << key << " " << width << "/" << row);
        scrollTo(width, row);
        if (key > 240) tapKey(key & ~kPad, key & kPad);
        if (key <= 240) drain(), markStatus(), turnWheel(-key), drain();
        EXPECT_EQ(view(), after);
        EXPECT_EQ(viewerState.bytesPerRow, getState(kWidthScroll));
        EXPECT_EQ(rendered(), renders);
    }
    scrollTo(1, 0);
    drain();
    pressKey(Qt::Key_Right);
    handleNext();  // a held key steps on every event
    for (int i = 0; i < 3; ++i) postEvent(kEventRepaint, kMainWindow, kMainWindow, 0), handleNext();
    releaseKey(Qt::Key_Right);
    drain();
    EXPECT_EQ(view(), "5/0");
    finish(ViewerStep::EndAtOnce);  // widening far down: the view starts where the clamped bar shows
    startWithData(1001);
    scrollTo(1, 900);
    tapKey(Qt::Key_Right);
    EXPECT_EQ(std::to_string(getAttribute(kRowScroll, 2)) + status(), "500Disp=1000,width=2,x=0,y=0,size=0");
    scrollTo(64, getState(kRowScroll));
    EXPECT_EQ(view() + status(), "64/15Disp=960,width=64,x=0,y=0,size=0");
}

// A right click's "jump here" moves the view to the row of the byte clicked; only a pending jump moves it.
TEST_F(MainWindowTest, RightClickJumpsToTheRowOfTheByte) {
    // Bytes, width, the click, the item chosen ("" closes the popup), the row shown.
    const std::tuple<int, int, int, int, std::string, int> cases[] = {
        {2000, 1, 20, 100, "jump here", 1124},
        {500, 1, 20, 100, "jump here", 500},
        {2000, 1, 20, 100, "", 0},
        {20000, 4, 168, 496, "jump here", 3056}};
    for (const auto& [size, width, x, y, choice, row] : cases) {
        SCOPED_TRACE(row);
        startWithData(size);
        if (width > 1) command(kCommandMulti);
        scrollTo(width, 0);
        answer({{RequesterKind::Popup, choice}});
        rightClickCanvas(x, y);
        drain();
        expectAllAnswered();
        ASSERT_FALSE(seen().empty());
        EXPECT_EQ(seen().back().text, "jump here;");
        EXPECT_EQ(getState(kRowScroll), row);
        EXPECT_EQ(status().rfind("Disp=" + std::to_string(row * width) + ",", 0), 0u) << status();
        scrollTo(width, 7);
        command(kCommandJumpHere);
        EXPECT_EQ(getState(kRowScroll), choice.empty() ? 1124 : 7);
        finish(ViewerStep::EndAtOnce);
    }
}

// The first mouse move only enters; the offset box's range follows the width, a step focuses the first box.
TEST_F(MainWindowTest, MouseStatusAndTheOffsetBox) {
    startWithData(4096);
    command(kCommandZoom2);
    scrollTo(3, 0);
    drain();
    markStatus();
    moveMouseOnCanvas(1, 1), drain();
    EXPECT_EQ(status(), "-");
    moveMouseOnCanvas(17, 5), drain();
    EXPECT_EQ(status(), "Disp:0,width=3,x=8,y=2,size:7");
    EXPECT_EQ(placeStatus(), "<data.bin, 4096 bytes | byte 7 $0007");
    command(kCommandMulti);
    moveMouseOnCanvas(60, 5), drain();
    EXPECT_EQ(placeStatus(), "<data.bin, 4096 bytes | byte 774 $0306 | strip 2");
    finish(ViewerStep::EndAtOnce);
    startWithData(1000);
    scrollTo(7, 5);
    EXPECT_EQ(getAttribute(kRowScroll, 2), 1000 / 7);
    EXPECT_EQ(getAttribute(kOffsetSpin, 1) * 100 + getAttribute(kOffsetSpin, 2), -700 + 7);
    setFocus(kOffsetSpin);
    drain();
    pressKey(Qt::Key_Up);
    releaseKey(Qt::Key_Up), drain();
    EXPECT_EQ(getText(kOffsetSpin) + status(), "1Disp=36,width=7,x=0,y=0,size=0");
    EXPECT_TRUE(hasFocus(kInverseBox));
    setState(kOffsetSpin, 7);
    scrollTo(1, 5);
    EXPECT_EQ(getState(kOffsetSpin), 1);
    EXPECT_EQ(getText(kOffsetSpin) + status(), "1Disp=6,width=1,x=0,y=0,size=0");
}

// 2^31 - 1 bytes at the last row: the wheel stays, the offset box reaches the byte past the end.
TEST_F(MainWindowTest, SumsAtTheLastRowOfTheLargestFileDoNotWrap) {
    writeFile("huge.bin", "");
    ASSERT_EQ(truncate(path("huge.bin").c_str(), INT32_MAX), 0);
    ASSERT_EQ(start({path("huge.bin")}), ViewerStep::Continue);
    scrollTo(1, INT32_MAX);
    turnWheel(-120);
    drain();
    EXPECT_EQ(getState(kRowScroll), INT32_MAX);
    for (auto* button : static_cast<QWidget*>(windowHandle(kMainWindow))->findChildren<QToolButton*>())
        if (button->arrowType() == Qt::UpArrow) button->click();
    drain();
    EXPECT_EQ(status(), "Disp=2147483648,width=1,x=0,y=0,size=0");
    EXPECT_EQ(std::pair(sheetPixel(1, 0), sheetPixel(0, 1)), std::pair(0, 0xFFFF00));
}

TEST_F(MainWindowTest, FindCommandsMoveTheViewOrSayWhyNot) {
    ASSERT_EQ(startWithFile("sample.bin", readWholeFile(PL_SAMPLE_PATH)), ViewerStep::Continue);
    command(kCommandSamCoupe);
    const std::tuple<int, int, int, int, const char*> rows[] = {
        {kCommandGuessWidth, 7, 3510, 6, "Disp=24576,width=64,"},
        {kCommandNextGraphics, 1, 0x5000, 0, "Disp=24576,width=64,"},
        {kCommandPreviousGraphics, 64, 384, 0, "Disp=15024,width=40,"},
    };
    for (const auto& [id, width, row, offset, shown] : rows) {
        scrollTo(width, 0);
        scrollTo(width, row);
        setAttribute(kOffsetSpin, 1, -width);
        setState(kOffsetSpin, offset);
        command(id);
        EXPECT_EQ(status().substr(0, std::string(shown).size()), shown);
    }
    // Identify format from the landscape at $3400: Atari GR.15 at 40 bytes per row, runners-up named.
    scrollTo(40, 332);
    setState(kOffsetSpin, 32);
    command(kCommandIdentifyFormat);
    EXPECT_EQ(status().substr(0, 30), "Atari GR.15 at width 40; then ");
    finish();
    ASSERT_EQ(startWithFile("flat.bin", std::string(100000, '\0')), ViewerStep::Continue);
    // clang-format off
    const std::pair<int, std::string> nothing[] = {{kCommandGuessWidth, "No picture found from"},
        {kCommandNextGraphics, "No graphics found after"}, {kCommandPreviousGraphics, "No graphics found before"}};
    // clang-format on
    for (const int mode : {kModeBinary, kModeZx}) {
        command(colourModeCommand(mode));
        scrollTo(3, 10);
        const std::string before = view();
        for (const auto& [id, text] : nothing) {
            command(id);
            // The view's first byte: row 10 of 3 bytes, or where that scroll leads among ZX screens.
            const std::string first = mode == kModeZx ? "82944" : "30";
            EXPECT_EQ(status(), text + " byte " + first + " in this colour mode");
            EXPECT_EQ(view(), before);
        }
    }
    command(kCommandIdentifyFormat);
    EXPECT_EQ(status(), "No picture found from byte 82944 in any format");
}

}  // namespace

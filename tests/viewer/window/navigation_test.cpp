// "Go to offset...", the page keys, and the selection dragged on the view with what its saves write.
#include <qnamespace.h>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <sstream>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "graphics/image_save.h"
#include "shell/controls.h"
#include "tests/viewer/window/viewer_driver.h"
#include "viewer/engine/colour_mode.h"
#include "viewer/engine/mode_table.h"
#include "viewer/window/mode_menu.h"
#include "viewer/window/viewer_state.h"

namespace {

constexpr int32_t kMagenta = 0xFF00FF;
constexpr int kNesCommand = kCommandFirstMachine + 9;  // the tenth mode beyond the four
constexpr int kZxCommand = kCommandFirstMachine + 8;

// The bytes of a hex listing, its offsets left out.
std::string listedBytes(const std::string& text) {
    std::string bytes;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream pairs(line.substr(line.find("  ") + 2));
        for (std::string pair; pairs >> pair;) bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
    }
    return bytes;
}

class NavigationTest : public ViewerWindowTest {
   protected:
    static int selectionSaves() {
        return getMenuEnabled(kMainMenu, kCommandSaveSelectionImage) +
               getMenuEnabled(kMainMenu, kCommandSaveSelectionBinary);
    }
    std::string offsetShown() const {
        return std::to_string(getState(kRowScroll)) + "/" + std::to_string(getState(kOffsetSpin)) + "/" +
               getText(kOffsetSpin);
    }
};

// 1000 bytes at width 7, row 10, fine offset 2 (first byte 72 = $48); then tiles.
TEST_F(NavigationTest, GoToOffsetMakesTheByteTheFirstOfTheView) {
    // Typed (none: cancelled), the message, row / offset / offset text and the status line's Disp= or "-".
    // clang-format off
    const std::tuple<const char*, const char*, const char*, std::string> cases[] = {
        {"300", "", "42/6/6", "300"}, {"$3e7", "", "142/5/5", "999"}, {"$46", "", "10/0/0", "70"},
        {"0x10", "", "2/2/2", "16"}, {"0X3E7", "", "142/5/5", "999"}, {"+5", "", "0/5/5", "5"},
        {"12x", "can't convert:12x", "10/2/2", "-"}, {"$", "can't convert:$", "10/2/2", "-"},
        {"0x", "can't convert:0x", "10/2/2", "-"}, {"-5", "can't convert:-5", "10/2/2", "-"},
        {" 5", "can't convert: 5", "10/2/2", "-"}, {"1000", "Offset beyond the end of the data!", "10/2/2", "-"},
        {"99999999999", "Offset beyond the end of the data!", "10/2/2", "-"}, {nullptr, "", "10/2/2", "-"}};
    // clang-format on
    startWithData(1000);
    for (const auto& [typed, message, shown, line] : cases) {
        SCOPED_TRACE(message);
        setView(7, 10, 2);
        markStatus();
        std::vector<RequesterAnswer> answers = {
            {RequesterKind::Text, typed ? typed : "", 0, typed == nullptr}};
        if (*message) answers.push_back({RequesterKind::Message, ""});
        answer(answers);
        const size_t before = seen().size();
        command(kCommandGoToOffset);
        expectAllAnswered();
        ASSERT_GT(seen().size(), before);
        EXPECT_EQ(seen()[before].title + ":" + seen()[before].text, "Go to offset:$0048");
        EXPECT_EQ(seen().back().text, *message ? message : "$0048");
        EXPECT_EQ(
            offsetShown() + " " + status(),
            shown + std::string(" ") + (line == "-" ? line : "Disp=" + line + ",width=7,x=0,y=0,size=0"));
    }
    // The text offered at the data's first byte, and while the view starts before the data.
    for (const int offset : {0, -2}) {
        setView(7, 0, offset);
        answer({{RequesterKind::Text, "", 0, true}});
        const size_t before = seen().size();
        command(kCommandGoToOffset);
        expectAllAnswered();
        ASSERT_GT(seen().size(), before);
        EXPECT_EQ(seen()[before].text, "$0000") << offset;
    }
    // The four modes' offset box reaches the width either way; a machine mode's a whole view row:
    // NES tiles in rows of 7 are 112 bytes a view row, a ZX screen at width 1 is 6912 bytes.
    const auto reach = [] { return std::pair(getAttribute(kOffsetSpin, 1), getAttribute(kOffsetSpin, 2)); };
    EXPECT_EQ(reach(), std::pair(-7, 7));
    command(kNesCommand);
    const std::tuple<const char*, const char*, const char*> nes[] = {{"230", "2/6/6", "230"},
                                                                     {"220", "1/108/108", "220"},
                                                                     {"300", "2/76/76", "300"},
                                                                     {"$3e7", "8/103/103", "999"}};
    for (const auto& [typed, shown, first] : nes) {
        setView(7, 1, 2);
        answer({{RequesterKind::Text, typed}});
        command(kCommandGoToOffset);
        EXPECT_EQ(offsetShown() + " " + status().substr(0, status().find(',')),
                  std::string(shown) + " Disp=" + first);
        EXPECT_EQ(reach(), std::pair(-112, 112));
    }
    command(colourModeCommand(kModeZx));
    setView(1, 0, 0);
    answer({{RequesterKind::Text, "27"}});  // the screen after a snapshot's 27-byte header
    command(kCommandGoToOffset);
    EXPECT_EQ(offsetShown() + " " + status().substr(0, status().find(',')), "0/27/27 Disp=27");
    EXPECT_EQ(reach(), std::pair(-6912, 6912));
    command(kCommandBinary);  // back to the width's reach, the box's value inside it
    EXPECT_EQ(offsetShown() + " " + std::to_string(reach().second), "0/1/1 1");
}

TEST_F(NavigationTest, PageKeysMoveByTheRowsShownAndStopAtTheEnds) {
    // Key, bytes, zoom, width, row, fine offset, multi, mode; row / offset / offset text after; renders.
    constexpr int kDown = Qt::Key_PageDown, kUp = Qt::Key_PageUp, kBig = 100000, kBinary = kCommandBinary;
    // clang-format off
    const std::tuple<int, int, int, int, int, int, int, int, const char*, bool> cases[] = {
        {kDown, kBig, 1, 1, 0, 0, 0, kBinary, "512/0/0", true}, {kDown, kBig, 4, 1, 5, 1, 0, kBinary, "133/1/1", true},
        {kDown, kBig, 1, 10, 0, 0, 1, kBinary, "4096/0/0", true}, {kDown, kBig, 1, 1, 0, 0, 1, kCommandBk, "76800/0/0", true},
        {kDown, kBig, 1, 1, 99800, 0, 0, kBinary, "100000/0/0", true}, {kDown, 1000, 1, 7, 142, 0, 0, kBinary, "142/0/0", false},
        {kUp, kBig, 1, 1, 600, 0, 0, kBinary, "88/0/0", true}, {kUp, kBig, 1, 10, 4000, 3, 1, kBinary, "0/3/3", true},
        {kUp, kBig, 1, 1, 0, 0, 0, kBinary, "0/0/0", false}, {Qt::Key_Home, 1000, 1, 7, 50, -3, 0, kBinary, "0/0/0", true},
        {Qt::Key_Home, 1000, 1, 7, 0, 0, 0, kBinary, "0/0/0", false}, {Qt::Key_End, 1000, 1, 7, 3, 4, 0, kBinary, "0/0/0", true},
        // End: the last byte in the last row shown whole (512, 128 rows; 7 whole strips of 10; 2 ZX screens).
        {Qt::Key_End, kBig, 1, 1, 0, 0, 0, kBinary, "99488/0/0", true}, {Qt::Key_End, kBig, 4, 1, 0, 0, 0, kBinary, "99872/0/0", true},
        {Qt::Key_End, kBig, 1, 10, 0, 0, 1, kBinary, "6416/0/0", true}, {Qt::Key_End, kBig, 1, 1, 0, 0, 0, kZxCommand, "13/0/0", true},
        // Tiles of 16 bytes in rows of 2: 64 view rows a strip, 38 strips; rows of 32 bytes.
        {kDown, kBig, 1, 2, 0, 0, 1, kNesCommand, "2432/0/0", true}, {Qt::Key_End, kBig, 1, 2, 5, 0, 0, kNesCommand, "3061/0/0", true},
        {Qt::Key_End, 1000, 1, 8, 0, 0, 1, kBinary, "0/0/0", false},
    };
    // clang-format on
    for (const auto& [key, size, zoom, width, row, fineOffset, multi, mode, shown, renders] : cases) {
        SCOPED_TRACE(testing::Message() << key << " " << width << "/" << row << " " << shown);
        startWithData(size);
        command(kCommandZoom1 + (zoom == 4 ? 2 : 0));
        if (multi) command(kCommandMulti);
        command(mode);
        setView(width, row, fineOffset);
        tapKey(key);
        EXPECT_EQ(offsetShown(), shown);
        EXPECT_EQ(rendered(), renders);
        finish(ViewerStep::EndAtOnce);  // no settings: the next start begins as this one did
    }
}

// The selection snaps to cells and rows of one strip; its saves: its pixels at zoom 1, the bytes as shown.
TEST_F(NavigationTest, SavedSelectionIsTheSelectedPartOfTheSheet) {
    struct Case {
        int modeCommand, zoomCommand, width, row, multi;
        std::vector<std::pair<int, int>> drag;
        int units, zoom;         // of the mode: view units per cell
        int left, top;           // the selection's first cell column and view row in the view
        const char* status;      // while dragging
        int cells, rows, first;  // the selected block
        int cellHeight = 1, cellBytes = 1, rowBytes = 0;  // rowBytes 0: the width
    };
    // clang-format off
    const Case cases[] = {
    {kCommandBinary, kCommandZoom1, 3, 0, 1, {{30, 10}, {45, 25}, {100, 25}}, 8, 1, 3, 10, "Selection: 3 x 16 bytes at 1566 ($061E)", 3, 16, 1566},
    {kCommandAtari, kCommandZoom2, 4, 0, 0, {{40, 7}, {10, 30}}, 8, 2, 0, 3, "Selection: 3 x 13 bytes at 12 ($000C)", 3, 13, 12},
    {kCommandBk, kCommandZoom4, 2, 0, 1, {{70, 100}, {90, 60}}, 4, 4, 4, 15, "Selection: 2 x 11 bytes at 542 ($021E)", 2, 11, 542},
    {kCommandSamCoupe, kCommandZoom8, 5, 3, 0, {{5, 5}, {79, 63}}, 2, 8, 0, 0, "Selection: 5 x 8 bytes at 15 ($000F)", 5, 8, 15},
    {kNesCommand, kCommandZoom2, 3, 0, 1, {{60, 20}, {140, 50}}, 8, 2, 3, 1, "Selection: 48 x 3 bytes at 1584 ($0630)", 3, 3, 1584, 8, 16, 48},
    {kCommandFirstMachine + 3, kCommandZoom1, 2, 0, 1, {{20, 5}, {70, 40}}, 16, 1, 1, 5, "Selection: 8 x 36 bytes at 4136 ($1028)", 1, 36, 4136, 1, 8, 8},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        startWithData(70000);
        for (const int id : {c.modeCommand, c.zoomCommand, c.multi ? kCommandMulti : c.zoomCommand})
            command(id);
        scrollTo(c.width, c.row);
        drain();
        EXPECT_EQ(selectionSaves(), 0);
        leftDragOnCanvas(c.drag, true);
        EXPECT_EQ(status(), c.status);
        const int x0 = c.left * c.units * c.zoom, y0 = c.top * c.cellHeight * c.zoom;
        const int frameX = x0 + c.cells * c.units * c.zoom, frameY = y0 + c.zoom;
        EXPECT_EQ(canvasPixel(frameX, frameY), kMagenta);
        EXPECT_NE(canvasPixel(frameX + 1, frameY), kMagenta);  // the frame is one pixel wide
        const int belowFrame = y0 + c.rows * c.cellHeight * c.zoom + 1;
        EXPECT_NE(canvasPixel(std::max(x0 - 1, 0), belowFrame), kMagenta);
        EXPECT_NE(canvasPixel(frameX, belowFrame), kMagenta);
        EXPECT_NE(sheetPixel(frameX, frameY), kMagenta);
        releaseLeftOnCanvas(c.drag.back().first, c.drag.back().second);
        EXPECT_EQ(status(), c.status);
        EXPECT_EQ(selectionSaves(), 2);
        answer({{RequesterKind::SaveFile, path("part"), 0}});
        command(kCommandSaveSelectionImage);
        const int width = c.cells * c.units, height = c.rows * c.cellHeight;  // the sheet's part, saved alike
        ASSERT_TRUE(copyImageRect(0, 99, x0, y0, width * c.zoom, height * c.zoom) &&
                    resizeImage(99, width, height, 1) && saveImage(99, path("sheet.png"), "PNG"));
        const auto pixels = [&](const std::string& name) {
            return QImage(QString::fromStdString(path(name))).convertToFormat(QImage::Format_RGB32);
        };
        EXPECT_EQ(pixels("part.png"), pixels("sheet.png"));
        // The classic modes' pictures stay in colour byte for byte; the others keep their colour numbers.
        EXPECT_EQ(readFile("part.png") == readFile("sheet.png"), isByteCellMode(viewerState.colourMode, &viewerState.formats.modes));
        tapKey(Qt::Key_C, Qt::ControlModifier);  // the same pixels on the clipboard, as PNG
        const QImage copied = QImage::fromData(QGuiApplication::clipboard()->mimeData()->data("image/png"));
        EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32), pixels("part.png"));
        command(kCommandInverse);
        answer({{RequesterKind::SaveFile, path("part"), 0}});
        command(kCommandSaveSelectionBinary);
        expectAllAnswered();
        std::string expected;
        for (int r = 0; r < c.rows; ++r)
            for (int k = 0; k < c.cells * c.cellBytes; ++k)
                expected += static_cast<char>(~(c.first + r * (c.rowBytes > 0 ? c.rowBytes : c.width) + k));
        EXPECT_EQ(readFile("part.bin"), expected);
        tapKey(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(listedBytes(QGuiApplication::clipboard()->text().toStdString()), expected);
        finish(ViewerStep::EndAtOnce);
    }
}

// F2 numbers pictures beside the last one "Save selection as image..." wrote, and never replaces a file.
TEST_F(NavigationTest, F2SavesTheNextNumberedPicture) {
    startWithData(5000);
    scrollTo(3, 0);
    leftDragOnCanvas({{2, 0}, {20, 9}});
    answer({{RequesterKind::SaveFile, path("letter")}});  // none saved yet: F2 asks for the name
    tapKey(Qt::Key_F2);
    expectAllAnswered();
    writeFile("letter-001.png", "mine");
    tapKey(Qt::Key_F2);
    EXPECT_EQ(status(), "Saved letter-000.png");
    tapKey(Qt::Key_F2);
    EXPECT_EQ(status(), "Saved letter-002.png");
    EXPECT_TRUE(readFile("letter.png") == readFile("letter-000.png") &&
                readFile("letter.png") == readFile("letter-002.png"));
    EXPECT_EQ(readFile("letter-001.png"), "mine");
    std::filesystem::create_directory(path("sub"));
    answer({{RequesterKind::SaveFile, path("sub/shot.x"), 1}});  // a BMP: F2 still writes PNGs
    command(kCommandSaveSelectionImage);
    tapKey(Qt::Key_F2);
    EXPECT_EQ(status(), "Saved shot.x-000.png");
    EXPECT_TRUE(exists("sub/shot.x.bmp") && exists("sub/shot.x-000.png"));
}

// A plain click, or a change of width, row, offset, mode or file, drops the selection and its frame.
TEST_F(NavigationTest, ClickOrAnotherViewDropsTheSelection) {
    constexpr int kClick = -1, kScroll = -2;
    // clang-format off
    const std::tuple<int, int, int, std::vector<RequesterAnswer>> cases[] = {
        {kClick, 0, 0, {}}, {kScroll, 5, 0, {}}, {kScroll, 4, 1, {}}, {kCommandGoToOffset, 0, 0, {{RequesterKind::Text, "1"}}},
        {kCommandBk, 0, 0, {}}, {kCommandZoom2, 0, 0, {}}, {kCommandOpen, 0, 0, {{RequesterKind::OpenFile, path("other.bin")}}}};
    // clang-format on
    startWithData(5000);
    writeFile("other.bin", countingBytes(5000));
    for (const auto& [change, width, row, answers] : cases) {
        SCOPED_TRACE(change);
        for (const int id : {kCommandBinary, kCommandZoom1}) command(id);
        scrollTo(4, 0);
        leftDragOnCanvas({{8, 8}, {40, 40}});
        ASSERT_TRUE(canvasPixel(20, 41) == kMagenta && canvasPixel(20, 42) != kMagenta);  // edge below row 40
        answer(answers);
        if (change == kClick) leftDragOnCanvas({{300, 300}});
        if (change == kScroll) scrollTo(width, row);
        if (change >= 0) command(change);
        expectAllAnswered();
        EXPECT_EQ(selectionSaves(), 0);
        EXPECT_NE(canvasPixel(20, 41), kMagenta);
        command(kCommandSaveSelectionImage);  // the shortcut still arrives: nothing happens
    }
    scrollTo(4, 1240);
    leftDragOnCanvas({{8, 8}, {40, 40}}, true);
    moveMouseOnCanvas(60, 60, true), drain();  // the release went elsewhere: no more dragging
    EXPECT_EQ(status().substr(0, 4), "Disp");
    releaseLeftOnCanvas(60, 60);
    answer({{RequesterKind::Message, ""}});
    command(kCommandSaveSelectionBinary);
    expectAllAnswered();
    EXPECT_EQ(seen().back().text, "The selection reaches past the end of the data!");
}

}  // namespace

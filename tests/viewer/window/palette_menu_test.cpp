// View > "Palette" and "Load format file...": the view's colours and formats as the menus choose them.
#include "tests/viewer/window/viewer_driver.h"
#include "viewer/engine/mode_table.h"
#include "viewer/window/mode_menu.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

using PaletteMenuTest = ViewerWindowTest;

int32_t rgb(int red, int green, int blue) {
    return red | green << 8 | blue << 16;
}

// A GBA 4 bpp tile whose first pixels are 1 and 2, then 16 BGR555 words: colour k has red 2k, green
// 31 - 2k and blue k (of 31).
std::string tileAndPalette() {
    std::string bytes(32, '\0');
    bytes[0] = 0x21;
    for (int k = 0; k < 16; ++k) {
        const int word = 2 * k | (31 - 2 * k) << 5 | k << 10;
        bytes += static_cast<char>(word & 0xFF);
        bytes += static_cast<char>(word >> 8);
    }
    return bytes;
}

int32_t wordColour(int k) {
    return rgb(255 * 2 * k / 31, 255 * (31 - 2 * k) / 31, 255 * k / 31);
}

TEST_F(PaletteMenuTest, PaletteFromDataBaseAndGrey) {
    ASSERT_EQ(startWithFile("tiles.bin", tileAndPalette()), ViewerStep::Continue);
    command(colourModeCommand(modeByCliName("gba4", nullptr)));
    EXPECT_EQ(canvasPixel(0, 0), rgb(17, 17, 17));  // grey 255 x 1 div 15
    answer({{RequesterKind::Text, "$20 16 bgr555"}});
    command(kCommandPaletteFromData);
    EXPECT_EQ(seen().back().text, "$0000 16 bgr555");  // the view's first byte to start with
    EXPECT_EQ(canvasPixel(0, 0), wordColour(1));
    EXPECT_EQ(canvasPixel(1, 0), wordColour(2));
    answer({{RequesterKind::Text, "1"}});
    command(kCommandPaletteBase);
    EXPECT_EQ(canvasPixel(0, 0), wordColour(2));
    writeFile("bad.pal", "JASC-PAL\r\n0100\r\n4\r\n");
    answer({{RequesterKind::OpenFile, path("bad.pal")}, {RequesterKind::Message, ""}});
    command(kCommandLoadPalette);
    EXPECT_EQ(seen().back().text, path("bad.pal") + ": the file holds fewer colours than it says");
    EXPECT_EQ(canvasPixel(0, 0), wordColour(2));  // the palette in use stays
    command(kCommandFirstPalette);                // grey levels
    EXPECT_EQ(canvasPixel(0, 0), rgb(17, 17, 17));
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandFirstPalette), 1);
    expectAllAnswered();
    finish();
}

TEST_F(PaletteMenuTest, LoadFormatFileAddsItUnderFromFiles) {
    ASSERT_EQ(startWithFile("tiles.bin", tileAndPalette()), ViewerStep::Continue);
    writeFile("mine.plfmt",
              "name = Nibbles\nid = nibbles-test\nlayout = linear\nwidth-pixels = 2\nbits = 4\n"
              "bit 0 = 0.3\nbit 1 = 0.2\nbit 2 = 0.1\nbit 3 = 0.0\n");
    answer({{RequesterKind::OpenFile, path("mine.plfmt")}});
    command(kCommandLoadFormatFile);
    const int mode = modeByCliName("nibbles-test", &viewerState.formats.modes);
    ASSERT_GE(mode, kModeTableSize);
    EXPECT_EQ(viewerState.colourMode, mode);
    EXPECT_EQ(getMenuCheck(kMainMenu, colourModeCommand(mode)), 1);
    EXPECT_EQ(canvasPixel(0, 0), rgb(34, 34, 34));  // the high nibble of $21: 2 of 15
    answer({{RequesterKind::OpenFile, path("mine.plfmt")}, {RequesterKind::Message, ""}});
    command(kCommandLoadFormatFile);
    EXPECT_EQ(seen().back().text,
              path("mine.plfmt") + ":1: id \"nibbles-test\" is taken by " + path("mine.plfmt"));
    expectAllAnswered();
    finish();
}

}  // namespace

// View > "Palette" and "Load format file...": the view's colours and formats as the menus choose them.
#include <QWidget>

#include "shell/controls.h"
#include "support/user_settings.h"
#include "tests/viewer/window/viewer_driver.h"
#include "viewer/engine/mode_table.h"
#include "viewer/window/mode_menu.h"
#include "viewer/window/own_settings.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

class PaletteMenuTest : public ViewerWindowTest {
   protected:
    // The strip's swatch of value v of n (its 256 pixels shared out).
    static int32_t swatch(int v, int n) {
        return imagePixel(canvasImage(kPaletteStrip), v * 256 / n + 128 / n, 8);
    }
};

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

// The strip's tip.
std::string stripTip() {
    return static_cast<QWidget*>(controlHandle(kPaletteStrip))->toolTip().toStdString();
}
int32_t grey(int level) {
    return rgb(level, level, level);
}

// The strip shows the colours the values show, and names the palette in use in its tip; the check
// marks show where the palette came from. The classic modes show their own colours.
TEST_F(PaletteMenuTest, TheStripShowsThePaletteInUse) {
    ASSERT_EQ(startWithFile("tiles.bin", tileAndPalette()), ViewerStep::Continue);
    EXPECT_EQ(swatch(0, 2), grey(0));
    EXPECT_EQ(swatch(1, 2), grey(255));
    EXPECT_EQ(stripTip(), "Binary: the mode's own colours (palettes are for the other formats)");
    command(kCommandSamCoupe);
    EXPECT_EQ(stripTip(), "Sam Coupe mode 4: the mode's own colours (palettes are for the other formats)");
    EXPECT_NE(swatch(1, 16), swatch(2, 16));
    command(colourModeCommand(modeByCliName("gba4", nullptr)));
    for (const int v : {0, 1, 15}) EXPECT_EQ(swatch(v, 16), grey(17 * v)) << v;
    EXPECT_EQ(stripTip(), "GBA 4 bpp tiles: the format's own colours");
    answer({{RequesterKind::Text, "$20 16 bgr555"}, {RequesterKind::Text, "1"}});
    command(kCommandPaletteFromData);
    command(kCommandPaletteBase);
    for (const int v : {0, 1, 14}) EXPECT_EQ(swatch(v, 16), wordColour(v + 1)) << v;
    EXPECT_EQ(swatch(15, 16), 0);  // past the palette's end
    EXPECT_EQ(stripTip(), "GBA 4 bpp tiles: Palette from the data at $0020: 16 colours, bgr555, base 1");
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandPaletteFromData), 1);
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandFirstPalette), 0);
    command(kCommandFirstPalette + 1);  // NES
    EXPECT_EQ(stripTip(), "GBA 4 bpp tiles: NES palette, base 1");
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandPaletteFromData), 0);
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandFirstPalette + 1), 1);
    expectAllAnswered();
    finish();
}

// Each format gets back its own palette when it is shown again, also in the next run, from the own
// settings file (pl2.ini stays as it is); a palette file that is gone leaves the format's own colours.
TEST_F(PaletteMenuTest, EachFormatKeepsItsPaletteBetweenRuns) {
    const int gba = colourModeCommand(modeByCliName("gba4", nullptr)),
              nes = colourModeCommand(modeByCliName("nes", nullptr));
    writeFile("four.pal", "JASC-PAL\r\n0100\r\n4\r\n255 0 0\r\n0 255 0\r\n0 0 255\r\n9 9 9\r\n");
    ASSERT_EQ(startWithFile("tiles.bin", tileAndPalette()), ViewerStep::Continue);
    command(gba);
    answer({{RequesterKind::Text, "$20 16 bgr555"}, {RequesterKind::Text, "1"}});
    command(kCommandPaletteFromData);
    command(kCommandPaletteBase);
    command(nes);
    EXPECT_EQ(stripTip(), "NES tiles: the format's own colours");
    answer({{RequesterKind::OpenFile, path("four.pal")}});
    command(kCommandLoadPalette);
    EXPECT_EQ(swatch(3, 4), rgb(9, 9, 9));
    command(gba);
    EXPECT_EQ(canvasPixel(0, 0), wordColour(2));
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandPaletteFromData), 1);
    command(nes);
    EXPECT_EQ(stripTip(), "NES tiles: Palette file four.pal");
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandLoadPalette), 1);
    expectAllAnswered();
    finish();
    const UserSettings kept = readUserSettings(ownSettingsPath());
    EXPECT_EQ(userSetting(kept, "palette gba4"), "1 data 32 16 bgr555");
    EXPECT_EQ(userSetting(kept, "palette nes"), "0 file " + path("four.pal"));
    EXPECT_EQ(readFile("pl2.ini").find("alette"), std::string::npos);

    ASSERT_EQ(start({"tiles.bin"}), ViewerStep::Continue);
    command(gba);
    EXPECT_EQ(canvasPixel(0, 0), wordColour(2));
    EXPECT_EQ(stripTip(), "GBA 4 bpp tiles: Palette from the data at $0020: 16 colours, bgr555, base 1");
    finish();

    std::remove(path("four.pal").c_str());
    ASSERT_EQ(start({"tiles.bin"}), ViewerStep::Continue);
    command(nes);  // no message: the format's own colours
    EXPECT_EQ(stripTip(), "NES tiles: the format's own colours");
    EXPECT_EQ(swatch(3, 4), grey(255));
    EXPECT_EQ(getMenuCheck(kMainMenu, kCommandLoadPalette), 0);
    expectAllAnswered();
    finish();
}

}  // namespace

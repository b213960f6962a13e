#include "viewer/engine/sheet_render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <tuple>

#include "graphics/images.h"
#include "tests/graphics/pixel_picture.h"
#include "tests/viewer/engine/kernel_tables.h"
#include "tests/viewer/engine/sheet_reference.h"
#include "tests/viewer/engine/viewer_test_support.h"
#include "viewer/engine/format_files.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/view_block.h"

namespace {

constexpr int kInverse = 1, kMulti = 8;

std::vector<uint8_t> sheetBytes() {
    const ImageBuffer* image = imageBuffer(kSheetImage);
    return std::vector<uint8_t>(image->pixels, image->pixels + int64_t{image->stride} * image->height);
}

// The direct writer gives the reference's bytes.
void expectDrawnAsBoxes(const TestView& view) {
    ASSERT_TRUE(drawSheetByBoxes(view));
    const std::vector<uint8_t> byBoxes = sheetBytes();
    std::memset(imageBuffer(kSheetImage)->pixels, 0x55, byBoxes.size());
    ASSERT_EQ(drawTestView(view), SheetResult::Drawn);
    ASSERT_TRUE(sheetBytes() == byBoxes);
}

bool onChecker(int x, int y) {
    return pixelColour(kSheetImage, x, y) == (((x ^ y) & 1) ? kCheckerCyan : 0);
}

char legendLetter(int32_t colour) {
    const auto found = viewerLegend().find(colour);
    return found != viewerLegend().end() ? found->second : '?';
}

// Letters of sheet row y from x0 every `step` pixels; where `expected` has '-' the checkerboard reads '-'.
std::string sheetRow(int y, int x0, const std::string& expected,
                     std::function<char(int32_t)> letter = legendLetter, int step = 1) {
    std::string text;
    for (int x = x0; x < x0 + static_cast<int>(expected.size()) * step; x += step)
        text += expected[(x - x0) / step] == '-' && onChecker(x, y) ? '-'
                                                                    : letter(pixelColour(kSheetImage, x, y));
    return text;
}

// `size` zero bytes with the given ones set.
std::vector<uint8_t> bytesAt(size_t size, std::initializer_list<std::pair<size_t, uint8_t>> set) {
    std::vector<uint8_t> bytes(size, 0);
    for (const auto& [index, value] : set) bytes[index] = value;
    return bytes;
}

// Grey 255 x v div (2^bits - 1); ZX: bit 3 bright, bit 1 red, bit 2 green, bit 0 blue.
int32_t expectedColour(int mode, int bits, int v) {
    if (mode == kModeZx) {
        const int level = (v & 8) ? 0xFF : 0xD7;
        return ((v & 2) ? level : 0) | ((v & 4) ? level : 0) << 8 | ((v & 1) ? level : 0) << 16;
    }
    const int level = 255 * v / ((1 << bits) - 1);
    return level | level << 8 | level << 16;
}

class SheetRenderTest : public KernelTableTest {
   protected:
    void SetUp() override {
        KernelTableTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_NE(createImage(kSheetImage, kViewWidth, 512), 0);
    }
    void TearDown() override {
        KernelTableTest::TearDown();
        freeImage(-1);
    }
};

INSTANTIATE_KERNEL_TABLES(SheetRenderTest);

// Nothing loaded, a state outside its ranges or no sheet image: the image keeps its pixels.
TEST_P(SheetRenderTest, RefusedRendersKeepTheImage) {
    const int cases[][3] = {{kModeBinary, 1, 0},        {kModeBinary, 1, 16},
                            {kModeBinary, 0, 1},        {kModeBinary, 257, 1},
                            {modeCount(nullptr), 1, 1}, {-1, 1, 1}};  // mode, width, zoom
    const std::vector<uint8_t> before = sheetBytes();
    EXPECT_EQ(drawSheet(DataBytes{}, viewOptions(kModeBinary, 1, 1), *imageBuffer(kSheetImage)),
              SheetResult::NothingLoaded);
    for (const auto [mode, width, zoom] : cases) {
        EXPECT_EQ(drawTestView(testView({1, 2, 3}, mode, width, zoom)), SheetResult::CannotDraw)
            << mode << " " << width << " " << zoom;
    }
    // Targets the writer cannot fill: 32-bit, wider than the widest view.
    ASSERT_TRUE(createImage(1, kViewWidth, 512, 32, 0) && createImage(2, kLargestViewSide + 1, 512));
    for (const int image : {1, 2})
        EXPECT_EQ(drawTestView(testView({1, 2, 3}, kModeBinary, 1, 1), image), SheetResult::CannotDraw)
            << image;
    EXPECT_EQ(sheetBytes(), before);
    freeImage(kSheetImage);
    EXPECT_EQ(drawTestView(testView({1, 2, 3}, kModeBinary, 1, 1)), SheetResult::CannotDraw)
        << "no sheet image";
}

// Rows of letters at (x0, y) worked out by hand; outside the top-left checkerFromX x checkerFromY corner
// every pixel shows the checkerboard.
TEST_P(SheetRenderTest, GoldenPictures) {
    using Row = std::tuple<int, int, std::string>;  // y, x0, letters
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int mode, width, zoom;
        int64_t first;
        int options;
        std::vector<Row> rows;
        int checkerFromX, checkerFromY;
    };
    std::vector<uint8_t> halves(50000), bk(192 * 512), wide(60000);
    for (size_t n = 0; n < halves.size(); ++n) halves[n] = (n / 5120) % 2 == 0 ? 0xFF : 0x00;
    for (size_t n = 0; n < bk.size(); ++n) bk[n] = n / 512 == 149 ? 0xFF : 0xAA;
    for (size_t n = 0; n < wide.size(); ++n) wide[n] = n % 100 < 75 ? 0x00 : 0xFF;
    std::string stripRow;
    for (int strip = 0; strip < 8; ++strip)
        stripRow += std::string(strip == 7 ? 40 : 80, strip % 2 ? '.' : 'W');
    const std::string atari8 =
        std::string(16, '.') + std::string(16, 'o') + std::string(16, 'g') + std::string(16, 't');
    const std::string zoom8Binary = "WWWWWWW.WWWWWWW.........WWWWWWW.........................WWWWWWW.";
    // clang-format off
    const Case cases[] = {
        {"binary bits", {0x80, 0x01, 0xA5}, kModeBinary, 3, 1, 0, 0, {{0, 0, "W..............WW.W..W.W"}}, 24, 1},
        {"atari pairs", {0x1B, 0xE4}, kModeAtari, 2, 1, 0, 0, {{0, 0, "..ooggttttggoo.."}}, 16, 1},
        {"bk pairs, low bits first", {0x1B, 0xE4}, kModeBk, 2, 1, 0, 0, {{0, 0, "rnu..unr"}}, 8, 1},
        {"sam nibbles", {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, kModeSam, 8, 1, 0, 0, {{0, 0, ".123456789ABCDEF"}}, 16, 1},
        {"binary zoom 2", {0x80}, kModeBinary, 1, 2, 0, 0, {{0, 0, "WW.............."}, {1, 0, "WW.............."}}, 16, 2},
        {"atari zoom 2", {0x1B}, kModeAtari, 1, 2, 0, 0, {{0, 0, "....oooogggg""tttt"}, {1, 0, "....oooogggg""tttt"}}, 16, 2},
        {"bk zoom 2", {0x1B}, kModeBk, 1, 2, 0, 0, {{0, 0, "rrnnuu.."}, {1, 0, "rrnnuu.."}}, 8, 2},
        {"binary zoom 8 leaves a black line right and below", {0xD1}, kModeBinary, 1, 8, 0, 0,
         {{0, 0, zoom8Binary}, {6, 0, zoom8Binary}, {7, 0, std::string(64, '.')}}, 64, 8},
        {"atari zoom 8 fills the cell", {0x1B}, kModeAtari, 1, 8, 0, 0,
         {{0, 0, atari8}, {7, 0, atari8}}, 64, 8},
        {"inverse", {0x12, 0x01, 0xA5, 0x80}, kModeBinary, 4, 1, 0, kInverse, {{0, 0, "WWW.WW.WWWWWWWW..W.WW.W..WWWWWWW"}}, 32, 1},
        {"reverse", {0x12, 0x01, 0xA5, 0x80}, kModeBinary, 4, 1, 0, 2, {{0, 0, ".W..W...W.......W.W..W.W.......W"}}, 32, 1},
        {"nibble swap", {0x12, 0x01, 0xA5, 0x80}, kModeBinary, 4, 1, 0, 4, {{0, 0, "..W....W...W.....W.WW.W.....W..."}}, 32, 1},
        {"past the end: one byte of 0", {0xFF, 0xFF}, kModeBinary, 3, 1, 10, kInverse | kMulti, {{0, 0, "........"}}, 8, 1},
        {"bk past the end is blue, first beyond 32 bits", {0xFF}, kModeBk, 1, 1, int64_t{INT32_MAX} + 1, kInverse | kMulti, {{0, 0, "uuuu"}}, 4, 1},
        {"bytes before the data are 0 without the inverse", {0x00, 0x00, 0x81}, kModeBinary, 1, 1, -2, kInverse,
         {{0, 0, "........"}, {1, 0, "........"}, {2, 0, "WWWWWWWW"}, {3, 0, "WWWWWWWW"}, {4, 0, ".WWWWWW."}}, 8, 5},
        {"the view ends after the last byte", {0xFF, 0xFF, 0xFF, 0xFF, 0xF0}, kModeBinary, 2, 2, 0, 0,
         {{0, 0, std::string(32, 'W')}, {3, 0, std::string(32, 'W')}, {4, 0, "WWWWWWWW........----------------"}, {5, 0, "WWWWWWWW........"}}, 32, 6},
        {"multi column strips of width 10", halves, kModeBinary, 10, 1, 0, kMulti, {{0, 0, stripRow}, {511, 0, stripRow}}, 600, 512},
        {"multi column off: one strip", halves, kModeBinary, 10, 1, 0, 0, {{511, 72, "WWWWWWWW--------"}}, 80, 512},
        {"sam strips stop at byte column 80", std::vector<uint8_t>(100000, 0xF7), kModeSam, 1, 1, 0, kMulti,
         {{0, 150, "F7F7F7F7F7----"}, {511, 150, "F7F7F7F7F7"}}, 160, 512},
        {"bk strips fill the width", bk, kModeBk, 1, 1, 0, kMulti, {{0, 0, std::string(596, 'n') + "rrrr"}, {511, 0, std::string(596, 'n') + "rrrr"}}, 600, 512},
        {"rows wider than the view are clipped", wide, kModeBinary, 100, 1, 0, 0,
         {{0, 0, std::string(600, '.')}, {73, 0, std::string(600, '.')}, {511, 0, std::string(600, '.')}}, 600, 512},
        // The other machines' modes: pixel values as digits of 0..31 from pixel x0 of the mode.
        {"chunky8 row 1", {0x00, 0x1F, 0x05, 0x10}, kModeChunky8, 2, 1, 0, 0, {{1, 0, "5g"}}, 2, 2},
        {"cpc1: bit 7-j, bit 3-j", {0x88, 0x84}, modeByCliName("cpc1", nullptr), 2, 1, 0, 0, {{0, 0, "30001200"}}, 8, 1},
        {"cpc0: 7,3,5,1 and 6,2,4,0", {0x80, 0x0A, 0x45}, modeByCliName("cpc0", nullptr), 3, 1, 0, 0, {{0, 0, "10a00b"}}, 12, 1},
        {"st4: planes by words", {0x80, 0x80, 0x80, 0, 0, 0, 0, 0x01}, modeByCliName("st4", nullptr), 8, 1, 0, 0, {{0, 0, "3000000010000008"}}, 16, 1},
        {"cells1", bytesAt(8, {{0, 0xA5}, {7, 0x01}}), modeByCliName("cells1", nullptr), 1, 1, 0, 0, {{0, 0, "10100101"}, {7, 0, "00000001"}}, 8, 8},
        {"cells2w: pairs from the top", bytesAt(8, {{0, 0x1B}}), modeByCliName("cells2w", nullptr), 1, 1, 0, 0, {{0, 0, "0123"}}, 8, 8},
        {"nes", bytesAt(16, {{0, 0x80}, {1, 0x01}, {8, 0xC0}}), kModeNes, 1, 1, 0, 0, {{0, 0, "32000000"}, {1, 0, "00000001"}}, 8, 8},
        {"gb", bytesAt(16, {{0, 0x80}, {1, 0xC0}, {2, 0x01}, {3, 0x01}}), modeByCliName("gb", nullptr), 1, 1, 0, 0, {{1, 0, "00000003"}}, 8, 8},
        {"snes4 row 1", bytesAt(32, {{2, 0x80}, {3, 0x40}, {18, 0x20}, {19, 0x10}}), modeByCliName("snes4", nullptr), 1, 1, 0, 0, {{1, 0, "12480000"}}, 8, 8},
        {"sms", bytesAt(32, {{4, 0x80}, {5, 0x40}, {6, 0x20}, {7, 0x11}}), modeByCliName("sms", nullptr), 1, 1, 0, 0, {{1, 0, "12480008"}}, 8, 8},
        {"amiga4: plane b at b x W", {0x80, 0x80, 0x00, 0x01}, modeByCliName("amiga4", nullptr), 1, 1, 0, 0, {{0, 0, "30000008"}}, 8, 1},
        {"amiga5 pixel 1", {0x40, 0, 0, 0, 0x40}, modeByCliName("amiga5", nullptr), 1, 1, 0, 0, {{0, 0, "0h000000"}}, 8, 1},
        // ZX: bright white ink on black; red ink on blue paper; white paper, not bright.
        {"zx", bytesAt(6912, {{0, 0x80}, {256, 0x01}, {32, 0xFF}, {6144, 0x47}, {6144 + 32, 0x0A}, {6144 + 256, 0x38}}), kModeZx, 1, 1, 0, 0,
         {{0, 0, "f0000000"}, {1, 0, "0000000f"}, {8, 0, "22222222"}, {64, 0, "77777777"}}, 256, 192},
        {"genesis: high nibble first", {0x12, 0x34, 0x56, 0x78}, modeByCliName("genesis", nullptr), 1, 1, 0, 0, {{0, 0, "12345678"}}, 8, 8},
        {"gba4: low nibble first", {0x12, 0x34, 0x56, 0x78}, modeByCliName("gba4", nullptr), 1, 1, 0, 0, {{0, 0, "21436587"}}, 8, 8},
        {"nes, inverse: bytes past the end read 0", std::vector<uint8_t>(10, 0), kModeNes, 2, 1, 0, kInverse, {{2, 0, "11111111--------"}}, 16, 8},
        {"a tile wholly before the data is not drawn", std::vector<uint8_t>(40, 0x11), modeByCliName("gba4", nullptr), 2, 1, -32, 0, {{0, 0, "--------11111111"}}, 16, 16},
        // Strip 1 starts 64 view rows of 2 cells of 8 bytes on.
        {"cells1 strip 1", bytesAt(2048, {{1024, 0xFF}}), modeByCliName("cells1", nullptr), 2, 1, 0, kMulti, {{0, 8, "0000000011111111"}}, 600, 512},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::memset(imageBuffer(kSheetImage)->pixels, 0x55, sheetBytes().size());
        ASSERT_EQ(drawTestView(testView(c.bytes, c.mode, c.width, c.zoom, c.first, c.options)),
                  SheetResult::Drawn);
        const ModeRow& mode = *modeRow(c.mode, nullptr);
        const bool cells = isByteCellMode(c.mode, nullptr);
        const auto letter = [&](int32_t colour) {
            for (int v = 0; !cells && v < std::min(1 << mode.bits, 32); ++v)
                if (colour == expectedColour(c.mode, mode.bits, v))
                    return "0123456789abcdefghijklmnopqrstuv"[v];
            return cells ? legendLetter(colour) : '?';
        };
        const int step = cells ? 1 : mode.pixelWidth;
        for (const auto& [y, x0, letters] : c.rows)
            EXPECT_EQ(sheetRow(y, x0 * step, letters, letter, step), letters) << "y " << y;
        int offChecker = 0;
        for (int y = 0; y < 512; ++y)
            for (int x = y < c.checkerFromY ? c.checkerFromX : 0; x < kViewWidth; ++x)
                offChecker += !onChecker(x, y);
        EXPECT_EQ(offChecker, 0);
    }
}

// Every mode, zoom and option on random data at widths and first bytes reaching the clipped edges and
// both ends of the data; then every width with multi columns: the direct writer gives the reference's bytes.
TEST_P(SheetRenderTest, DirectWriterMatchesOneBoxPerPixel) {
    std::mt19937 random(1234);
    std::vector<uint8_t> bytes(250000);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    TestView view = testView(bytes, kModeBinary, 1, 1);
    const auto expectSameDrawing = [&] { expectDrawnAsBoxes(view); };
    const auto expectSame = [&](int mode, int width, int zoom, int64_t first, int options) {
        view.options = viewOptions(mode, width, zoom, first, options);
        SCOPED_TRACE(testing::Message() << "mode " << mode << " zoom " << zoom << " options " << options
                                        << " width " << width << " first " << first);
        expectSameDrawing();
    };
    const int widths[] = {1, 2, 3, 7, 10, 40, 75, 100, 193, 256};
    const int64_t firsts[] = {0, -1, -700, 5, 20000, 249999, 123457};
    // The other machines' modes share the byte transforms: fewer combinations there.
    for (int mode = 0, n = 0; mode < kModeTableSize; ++mode)
        for (int zoom = 1; zoom <= 8; zoom *= 2)
            for (int options = 0; options < 16 && !HasFatalFailure();
                 options += mode < kColourModeCount ? 1 : 5, ++n)
                expectSame(mode, widths[n % std::size(widths)], zoom, firsts[n % std::size(firsts)], options);
    for (int width = 1; width <= kMaxBytesPerRow && !HasFatalFailure(); width += (width < 20 ? 1 : 13))
        expectSame(width % kModeTableSize, width, 1 << (width % 4), width * 37, kMulti);
    // Rows whose bytes reach past the data's end, which read 0 whatever the options.
    expectSame(kModeSt4, 1, 1, 100000, kInverse | kMulti);
    // Amiga 5 bitplanes (mode 8) whose last view row ends at the data's end, its planes narrower than a
    // vector.
    expectSame(8, 16, 1, int64_t{250000} - 512 * 80, kInverse);
    // A view as a larger window shows it, its right edge cutting cells (rows without padding, which
    // neither drawing writes): every mode, with and without multi columns, the strips reaching the edge.
    freeImage(kSheetImage);
    ASSERT_TRUE(createImage(kSheetImage, 1284, 1001));
    for (int mode = 0; mode < kModeTableSize && !HasFatalFailure(); ++mode) {
        view.options = viewOptions(mode, widths[mode % std::size(widths)], 1 << (mode % 4),
                                   firsts[mode % std::size(firsts)], mode % 2 * kMulti | mode % 3);
        view.options.viewWidth = 1284;
        view.options.viewHeight = 1001;
        SCOPED_TRACE(testing::Message() << "1284 x 1001, mode " << mode);
        expectSameDrawing();
    }
}

// Modes of 2- and 4-bit values with a palette chosen: colour numbers (base 0 and 1) and grey levels
// other than the repeated bits (through the expander's map), under byte transforms, at widths ending
// within a chunk and rows reaching past the data's end.
TEST_P(SheetRenderTest, ModesWithAPaletteMatchOneBoxPerPixel) {
    std::mt19937 random(5678);
    std::vector<uint8_t> bytes(100000);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    TestView view = testView(bytes, kModeBinary, 1, 1);
    Palette colours, greys;
    for (int v = 0; v < 16; ++v) {
        colours.colours.push_back(0x10305 * (v + 1) ^ (v << 20));
        greys.colours.push_back(0x010101 * (15 * v / 2));
    }
    struct Case {
        const char* mode;
        const Palette* palette;
        int base, width, zoom;
        int64_t first;
        int options;
    };
    const Case cases[] = {
        {"genesis", &colours, 0, 256, 1, 0, kMulti},
        {"genesis", &greys, 1, 37, 2, 5, kInverse},
        {"genesis", &greys, 0, 5, 1, 99000, 4},
        {"gba4", &colours, 1, 3, 1, -700, 2},
        {"gba4", &greys, 0, 193, 1, 99999, kMulti},
        {"gba4", &greys, 1, 64, 4, 123, kInverse | 4},
        {"st4", &colours, 0, 40, 1, 7, kMulti},
        {"st4", &greys, 1, 77, 2, 99001, kInverse | 4},
        {"sam", &greys, 1, 100, 4, 11, 2},
        // Planar tiles decoded eight unit rows at a time: colour numbers, and levels through the map.
        {"sms", &colours, 1, 256, 1, 3, kMulti | kInverse},
        {"snes4", &greys, 0, 193, 1, 99001, kMulti | 4},
        {"nes", &colours, 0, 256, 1, -700, kMulti | 2},
        {"gb", &greys, 1, 9, 2, 99999, kMulti | 6},
    };
    for (const Case& c : cases) {
        view.options = viewOptions(modeByCliName(c.mode, nullptr), c.width, c.zoom, c.first, c.options);
        view.options.palette = c.palette;
        view.options.paletteBase = c.base;
        SCOPED_TRACE(testing::Message()
                     << c.mode << " base " << c.base << " width " << c.width << " first " << c.first);
        expectDrawnAsBoxes(view);
    }
}

// Formats of values over 8 bits, one of each shape the drawing tells apart: whole words of either
// byte order (in groups, double-wide; colours of whole bytes, of channels up to 6 bits, of 8 bits
// that are no whole byte), values bit by bit (tiled, planes row widths apart), colours by
// masks side by side or not, grey levels, colour numbers of a palette. Each draws as one box per
// pixel at every zoom, option and width, and in a view larger than the window's; its selection's
// picture shows the view's pixels.
TEST_P(SheetRenderTest, WideValuesMatchOneBoxPerPixel) {
    const std::string linear = "layout = linear\nwidth-pixels = 1\n";
    const char* const texts[][2] = {
        {"wide-565", "width-bytes = 2\nbits = 16\nvalue = 2 le\ncolours = direct F800 07E0 001F"},
        {"wide-888", "width-bytes = 3\nunit = 2\nbits = 24\nvalue = 3 be\ncolours = direct FF0000 FF00 FF"},
        {"wide-group",
         "width-bytes = 9\nbits = 32\nvalue = 4 le\ngroup = 2 9.0\nstep-x = 4.0\n"
         "colours = direct 3FF00000 FFC00 CF3 C0000000"},
        {"wide-planes",
         "width-bytes = 9\nbits = 9\nbit 0 = 0.0\nbit 1 = 1w+0.0\nbit 2 = 2w+0.0\n"
         "bit 3 = 3w+0.0\nbit 4 = 4w+0.0\nbit 5 = 5w+0.0\nbit 6 = 6w+0.0\nbit 7 = 7w+0.0\n"
         "bit 8 = 8w+0.0\nstep-x = 0.1\ncolours = direct 1C0 38 7"},
        {"wide-grey24", "width-bytes = 3\nbits = 24\nvalue = 3 le"},
        {"wide-c64", "width-bytes = 2\nbits = 16\nvalue = 2 be\ncolours = palette c64"},
        {"wide-8888", "width-bytes = 4\nbits = 32\nvalue = 4 le\ncolours = direct FF00 FF0000 FF FF000000"},
        {"wide-555", "width-bytes = 2\nbits = 16\nvalue = 2 be\ncolours = direct 1F 3E0 7C00"},
        {"wide-844", "width-bytes = 2\nbits = 16\nvalue = 2 le\ncolours = direct FF00 F0 F"},
    };
    FormatFiles formats;
    std::vector<int> modes;
    for (const auto& [id, rest] : texts) {
        const std::string text = std::string("name = W\nid = ") + id + "\n" + linear + rest + "\n";
        modes.push_back(addFormatText(formats, text, id).mode);
    }
    modes.push_back(
        addFormatText(formats,
                      "name = T\nid = wide-tiles\nlayout = tiled\ntile = 4 3\ntile-bytes = 20\n"
                      "bits = 12\nbit-order = lsb\nbit 0 = 0.0\nbit 1 = 0.1\nbit 2 = 0.2\nbit 3 = 0.3\n"
                      "bit 4 = 0.4\nbit 5 = 0.5\nbit 6 = 0.6\nbit 7 = 0.7\nbit 8 = 1.0\nbit 9 = 1.1\n"
                      "bit 10 = 1.2\nbit 11 = 1.3\nstep-x = 1.4\nstep-y = 6.0\n",
                      "t")
            .mode);
    for (const int mode : modes) ASSERT_GE(mode, kModeTableSize);
    const AddedModes* added = &formats.modes;
    const auto options = [&](int mode, int width, int zoom, int64_t first, int flags) {
        SheetOptions o = viewOptions(mode, width, zoom, first, flags);
        o.addedModes = added;
        return o;
    };
    // The pointer names a pixel's first byte, also where its value's bit 0 lies in its last.
    EXPECT_EQ(mouseByteIndex(options(modes[5], 5, 1, 0, 0), 3, 1), 10 + 2 * 3);
    std::mt19937 random(4321);
    std::vector<uint8_t> bytes(60000);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    TestView view = testView(bytes, kModeBinary, 1, 1);
    const auto expectSameDrawing = [&] { expectDrawnAsBoxes(view); };
    const Palette grey4{{0x111111, 0x222222, 0x333333, 0x444444}};
    const int widths[] = {1, 2, 5, 40, 193, 256};
    const int64_t firsts[] = {0, -7, 5, 59999, 31};
    int n = 0;
    for (const int mode : modes)
        for (int zoom = 1; zoom <= 8; zoom *= 2)
            for (int flags = 0; flags < 16 && !HasFatalFailure(); flags += 3, ++n) {
                view.options = options(mode, widths[n % 6], zoom, firsts[n % 5], flags);
                // A palette chosen: colour numbers from base 1 (direct colours keep theirs).
                if (n % 4 == 0) view.options.palette = &grey4, view.options.paletteBase = 1;
                SCOPED_TRACE(testing::Message() << modeRow(mode, added)->cliName << " zoom " << zoom
                                                << " options " << flags << " width " << widths[n % 6]);
                expectSameDrawing();
            }
    freeImage(kSheetImage);
    ASSERT_TRUE(createImage(kSheetImage, 1284, 1001));
    for (const int mode : modes) {
        view.options = options(mode, 3 + mode % 5, 1 << (mode % 4), 11, kMulti | mode % 3);
        view.options.viewWidth = 1284;
        view.options.viewHeight = 1001;
        SCOPED_TRACE(testing::Message() << "1284 x 1001, " << modeRow(mode, added)->cliName);
        expectSameDrawing();
        // The selection of the first cells of three view rows shows what the view shows there.
        const ViewGeometry g = viewGeometry(mode, added, view.options.bytesPerRow, view.options.zoom, 1001);
        const ByteBlock block{view.options.first, std::min<int64_t>(g.cellsPerRow, 2) * g.cellBytes,
                              g.rowBytes, 3};
        const PictureSize size = blockPictureSize(view.options, bytes.size(), block, view.options.zoom);
        ASSERT_GT(size.width, 0);
        ASSERT_NE(drawBlockImage(kSheetImage + 1, view.data(), view.options, block, view.options.zoom), 0);
        for (int y = 0; y < size.height; y += 3)
            for (int x = 0; x < size.width; x += 5)
                ASSERT_EQ(pixelColour(kSheetImage + 1, x, y), pixelColour(kSheetImage, x, y))
                    << x << "," << y;
        freeImage(kSheetImage + 1);
    }
}

// The shipped format files of values up to 8 bits, each at every zoom, at options, widths and first
// bytes reaching both ends of the data, with a palette of grey levels or of colours chosen or none:
// one box per pixel, and in a view larger than the window's.
TEST_P(SheetRenderTest, ShippedFormatFilesMatchOneBoxPerPixel) {
    FormatFiles shipped;
    ASSERT_TRUE(loadFormatFolder(shipped, PL_FORMATS_PATH).empty());
    std::mt19937 random(2468);
    std::vector<uint8_t> bytes(90000);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    TestView view = testView(bytes, kModeBinary, 1, 1);
    const Palette grey4{{0x111111, 0x222222, 0x333333, 0x444444}};
    const Palette colours4{{0x0000FF, 0x00FF00, 0xFF0000, 0x123456}};
    const int widths[] = {256, 1, 3, 9, 40, 193};
    const int64_t firsts[] = {0, -700, 5, 89999, 31, 88001};
    int n = 0;
    for (int mode = kModeTableSize; mode < modeCount(&shipped.modes); ++mode) {
        if (modeRow(mode, &shipped.modes)->wide) continue;
        for (int zoom = 1; zoom <= 8; zoom *= 2)
            for (int flags = 0; flags < 16 && !HasFatalFailure(); flags += 3, ++n) {
                view.options = viewOptions(mode, widths[n % 6], zoom, firsts[n % 6], flags);
                view.options.addedModes = &shipped.modes;
                if (n % 3 > 0) view.options.palette = n % 3 == 1 ? &grey4 : &colours4;
                SCOPED_TRACE(testing::Message() << modeRow(mode, &shipped.modes)->cliName << " zoom " << zoom
                                                << " options " << flags << " width " << widths[n % 6]);
                expectDrawnAsBoxes(view);
            }
    }
    // Tiles of 8-bit pixels under each byte transform, whole view rows in the data.
    for (const char* id : {"gba8", "snes8", "snes-mode7"})
        for (const int flags : {kInverse | kMulti, 2, 6 | kMulti}) {
            view.options = viewOptions(modeByCliName(id, &shipped.modes), 100, 1, 37, flags);
            view.options.addedModes = &shipped.modes;
            SCOPED_TRACE(testing::Message() << id << " options " << flags);
            expectDrawnAsBoxes(view);
        }
    freeImage(kSheetImage);
    ASSERT_TRUE(createImage(kSheetImage, 1284, 1001));
    for (int mode = kModeTableSize; mode < modeCount(&shipped.modes) && !HasFatalFailure(); ++mode) {
        if (modeRow(mode, &shipped.modes)->wide) continue;
        view.options = viewOptions(mode, 5 + mode % 7, 1, 11, kMulti | mode % 3);
        view.options.addedModes = &shipped.modes;
        view.options.viewWidth = 1284;
        view.options.viewHeight = 1001;
        SCOPED_TRACE(testing::Message() << "1284 x 1001, " << modeRow(mode, &shipped.modes)->cliName);
        expectDrawnAsBoxes(view);
    }
}

// A mode whose bit sources the vector kernels cannot plan is drawn by the table writer instead:
// the same pixels, several times slower, which no comparison of pixels notices.
TEST(SheetRenderPlanTest, EveryModeThatStatesItsBitSourcesGetsAVectorPlan) {
    for (int mode = 0; mode < kModeTableSize; ++mode) {
        const ModeRow& row = *modeRow(mode, nullptr);
        if (!row.hasSourceBits) continue;
        const int64_t planeStride = row.layout == ModeLayout::Linear && row.unitBytes > 1 ? 40 : 0;
        for (const bool levels : {false, 8 % row.bits == 0})
            EXPECT_TRUE(bitGatherPlan(&row.sourceBits, row.bits, row.chunkBytes, planeStride, levels).usable)
                << row.cliName << (levels ? ", grey levels" : "");
    }
}

// A render writes "Disp=..,size=..", a mouse move the same with ':' after Disp and size; over no
// drawn byte (the checkerboard, outside the view) the size is left out.
TEST_P(SheetRenderTest, StatusLineAndJumpRow) {
    constexpr int64_t kBig = INT32_MAX;
    // First byte, width, zoom, mode (+ kMulti << 8), data size, pointer x and y; the render's text, jump row.
    // clang-format off
    const std::tuple<int64_t, int32_t, int32_t, int32_t, int64_t, int, int, const char*, int64_t> cases[] = {
        {100, 7, 1, kModeBinary, kBig, 0, 0, "Disp=100,width=7,x=0,y=0,size=0", 0},
        {-3, 3, 1, kModeBinary, kBig, 8, 1, "Disp=-3,width=3,x=8,y=1,size=4", 1},
        {int64_t{INT32_MAX} + 1, 1, 1, kModeBinary, kBig, 0, 0, "Disp=2147483648,width=1,x=0,y=0,size=0", 0},
        {0, 256, 8, kModeBinary, kBig, 599, 511, "Disp=0,width=256,x=74,y=63,size=16137", 63},
        {0, 256, 1, kModeBinary, kBig, INT32_MAX, INT32_MAX, "Disp=0,width=256,x=2147483647,y=2147483647", 2684354047},
        {0, 1, 4, kModeBinary, kBig, -37, -5, "Disp=0,width=1,x=-9,y=-1", -129},
        {0, 0, 0, kModeBinary, kBig, 16, 10, "Disp=0,width=0,x=16,y=10", 1034},  // never divides by zero
        // Beside the only strip, past the end of the data, beyond the last strip; the first byte is always drawn.
        {0, 1, 1, kModeBinary, 4096, 8, 0, "Disp=0,width=1,x=8,y=0", 512},
        {0, 1, 1, kModeBinary | kMulti << 8, 4096, 8, 0, "Disp=0,width=1,x=8,y=0,size=512", 512},
        {4090, 8, 1, kModeBinary, 4096, 40, 0, "Disp=4090,width=8,x=40,y=0,size=5", 0},
        {4090, 8, 1, kModeBinary, 4096, 0, 1, "Disp=4090,width=8,x=0,y=1", 1},
        {5000, 8, 1, kModeBinary, 4096, 0, 0, "Disp=5000,width=8,x=0,y=0,size=0", 0},
        {5000, 8, 1, kModeBinary, 4096, 8, 0, "Disp=5000,width=8,x=8,y=0", 0},
        {0, 1, 1, kModeSam | kMulti << 8, kBig, 160, 0, "Disp=0,width=1,x=160,y=0", 40960},
        // The other machines' modes: the byte drawn under the pointer, the tile's first, or the row's holding it.
        {0, 2, 1, kModeNes, kBig, 9, 9, "Disp=0,width=2,x=9,y=9,size=48", 1},
        {0, 2, 1, kModeNes, kBig, 17, 0, "Disp=0,width=2,x=17,y=0", 64},
        {0, 2, 1, kModeNes | kMulti << 8, kBig, 17, 0, "Disp=0,width=2,x=17,y=0,size=2048", 64},
        {-16, 2, 1, kModeNes, kBig, 7, 0, "Disp=-16,width=2,x=7,y=0", 0},  // a tile wholly before the data
        {-16, 2, 1, kModeNes, 32, 9, 0, "Disp=-16,width=2,x=9,y=0,size=16", 0},
        {-16, 2, 1, kModeNes, 32, 9, 8, "Disp=-16,width=2,x=9,y=8", 1},  // a tile at the end of the data
        {0, 10, 1, kModeChunky8, kBig, 5, 2, "Disp=0,width=10,x=5,y=2,size=25", 2},
        {0, 10, 1, kModeChunky8, 25, 5, 2, "Disp=0,width=10,x=5,y=2,size=25", 2},  // the row starts in the data
        {0, 10, 1, kModeChunky8, 20, 5, 2, "Disp=0,width=10,x=5,y=2", 2},
        {0, 4, 1, modeByCliName("cpc0", nullptr), kBig, 5, 1, "Disp=0,width=4,x=5,y=1,size=5", 1},
        {0, 2, 1, modeByCliName("amiga4", nullptr), kBig, 9, 1, "Disp=0,width=2,x=9,y=1,size=9", 1},
        {0, 16, 1, modeByCliName("st4", nullptr), kBig, 9, 1, "Disp=0,width=16,x=9,y=1,size=17", 1},
        {0, 16, 1, modeByCliName("st4", nullptr), kBig, 17, 0, "Disp=0,width=16,x=17,y=0,size=8", 0},
        {0, 1, 1, kModeZx, kBig, 100, 200, "Disp=0,width=1,x=100,y=200,size=6912", 1},
        {0, 3, 1, modeByCliName("cells2w", nullptr), kBig, 17, 0, "Disp=0,width=3,x=17,y=0,size=16", 0},
    };
    // clang-format on
    for (const auto& [first, width, zoom, modeAndMulti, size, x, y, text, jumpRow] : cases) {
        const SheetOptions options = viewOptions(modeAndMulti & 0xFF, width, zoom, first, modeAndMulti >> 8);
        std::string moved = text;
        moved[4] = ':';
        if (moved.find("size=") != std::string::npos) moved[moved.rfind("size=") + 4] = ':';
        EXPECT_EQ(statusTextForRender(options, size, x, y), text);
        EXPECT_EQ(statusTextForMouseMove(options, size, x, y), moved);
        EXPECT_EQ(jumpRowAt(options, 0, x, y), jumpRow) << text;
    }
    // Over 0xFF, never black or cyan: the byte named turns the pixel black at 0; "jump here" tops its row.
    // Black or cyan is the checkerboard: no byte is named there.
    int drawn = 0, checkerboard = 0;
    for (int n = 0; n < 480; ++n) {
        const int mode = n % 4, zoom = 1 + n / 4 % 2, width = "\1\3\4"[n / 8 % 3], multi = n / 24 % 2;
        const int x = n * 97 % (multi || n % 3 == 0 ? 600 : "\10\10\4\2"[mode] * width * zoom),
                  y = n * 59 % 512;
        TestView view = testView(std::vector<uint8_t>(n % 5 == 0 ? 2000 : 120000, 0xFF), mode, width, zoom,
                                 3 * width - 1, multi * kMulti);
        ASSERT_EQ(drawTestView(view), SheetResult::Drawn);
        const std::string status = statusTextForMouseMove(view.options, view.size, x, y);
        if (pixelColour(kSheetImage, x, y) == 0 || pixelColour(kSheetImage, x, y) == kCheckerCyan) {
            EXPECT_EQ(status.find("size"), std::string::npos) << n << ": " << status;
            ++checkerboard;
            continue;
        }
        const int64_t named = view.options.first + std::stoll(status.substr(status.rfind(':') + 1));
        ASSERT_TRUE(named >= 0 && named < view.size) << n << ": " << status;
        view.block[named] = 0;
        ASSERT_EQ(drawTestView(view), SheetResult::Drawn);
        EXPECT_EQ(pixelColour(kSheetImage, x, y), 0) << n << ": " << status;
        // Row position 3: the view's first byte lies in row 3 of the width.
        EXPECT_EQ(jumpRowAt(view.options, 3, x, y), (named + 1) / width) << n << ": " << status;
        ++drawn;
    }
    EXPECT_GT(drawn, 300);
    EXPECT_GT(checkerboard, 60);
}

// The second status field: name and size; the byte under the pointer and its strip where one is drawn.
TEST(PlaceStatusTest, NameSizeAndTheByteUnderThePointer) {
    // First byte, width, mode (+ kMulti << 8), data size, pointer x and y, file name; the text.
    // clang-format off
    const std::tuple<int64_t, int32_t, int32_t, int64_t, int, int, const char*, const char*> cases[] = {
        {100, 7, kModeBinary, 4096, 0, 0, "zx.rom", "zx.rom, 4096 bytes | byte 100 $0064"},
        {0, 1, kModeBinary | kMulti << 8, 4096, 8, 0, "zx.rom", "zx.rom, 4096 bytes | byte 512 $0200 | strip 2"},
        {0, 1, kModeBinary, 4096, 8, 0, "zx.rom", "zx.rom, 4096 bytes"},  // the checkerboard
        {-3, 3, kModeBinary, 4096, 0, 0, "zx.rom", "zx.rom, 4096 bytes"},  // before the data
        {0, 1, kModeZx, 100000, 100, 200, "s.sna", "s.sna, 100000 bytes | byte 6912 $1B00"},
        {0, 1, kModeBinary, 10, 0, 0, "a_very_long_file_name_of_a_rom_dump.bin", "a_very_...dump.bin, 10 bytes | byte 0 $0000"},
    };
    // clang-format on
    for (const auto& [first, width, modeAndMulti, size, x, y, name, text] : cases)
        EXPECT_EQ(placeStatusText(viewOptions(modeAndMulti & 0xFF, width, 1, first, modeAndMulti >> 8), size,
                                  name, x, y),
                  text);
}

// The grid of the other machines' modes: the line count, the first five lines (* major) and the first majors.
TEST(CellGridTest, LinesFollowTheFormatsCells) {
    // Mode, width, zoom, across; the lines.
    // clang-format off
    const std::tuple<const char*, int32_t, int32_t, bool, const char*> cases[] = {
        {"nes", 2, 2, true, "38: 0* 16 32* 48 64* | 0 32 64 96"},  // tiles of 8, strips of 2 tiles
        {"nes", 2, 2, false, "33: 0* 16 32 48 64 | 0 128 256 384"},
        {"zx", 1, 1, true, "76: 0* 8 16 24 32 | 0 256 512"},  // 8 pixels inside the screen
        {"zx", 1, 1, false, "65: 0* 8 16 24 32 | 0 192 384"},
        {"chunky8", 20, 4, true, "23: 0* 32 64 80* 112 | 0 80 160 240"},  // linear: every 8 pixels, per strip
        {"chunky8", 20, 4, false, "17: 0* 32 64 96 128 | 0 256 512"},
        {"cpc0", 10, 1, true, "46: 0* 16 32 40* 56 | 0 40 80 120"},  // pixels 2 units wide
        {"cells2w", 3, 1, true, "76: 0* 8 16 24* 32 | 0 24 48 72"},
    };
    // clang-format on
    for (const auto& [mode, width, zoom, across, text] : cases) {
        const std::vector<GridLine> lines =
            cellGridLines(viewOptions(modeByCliName(mode, nullptr), width, zoom, 0), across);
        std::string shown = std::to_string(lines.size()) + ":", majors;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i < 5) shown += ' ' + std::to_string(lines[i].at) + (lines[i].major ? "*" : "");
            if (lines[i].major && std::count(majors.begin(), majors.end(), ' ') < 4)
                majors += ' ' + std::to_string(lines[i].at);
        }
        EXPECT_EQ(shown + " |" + majors, text) << mode;
    }
}

}  // namespace

#include "viewer/sheet_render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "graphics/drawing.h"
#include "graphics/images.h"
#include "tests/graphics/pixel_picture.h"
#include "tests/viewer/sheet_reference.h"
#include "tests/viewer/viewer_test_support.h"
#include "viewer/mode_table.h"

namespace {

class SheetRenderTest : public ::testing::Test {
   protected:
    void SetUp() override {
        loadBytes({});
        ASSERT_NE(createImage(kSheetImage, kViewWidth, 512), 0);
    }
    void TearDown() override {
        freeImage(-1);
        unloadBytes();
    }

    // Loads the bytes and sets the view; the held values keep their start values.
    void view(const std::vector<uint8_t>& bytes, int mode, int bytesPerRow, int zoom, int64_t first = 0) {
        loadBytes(bytes);
        viewerState.colourMode = mode;
        viewerState.bytesPerRow = bytesPerRow;
        viewerState.zoom = zoom;
        // A first byte beyond 32 bits takes the fine offset, as at the last row of the largest file.
        viewerState.byteOffset = static_cast<int32_t>(std::min<int64_t>(first, INT32_MAX));
        setHeldValue(HeldValue::FineOffset, static_cast<int>(first - viewerState.byteOffset));
    }

    // Letters of the pixels (x0..x0+width-1, y) of the SheetImage.
    static std::string sheetRow(int y, int x0 = 0, int width = 16) {
        std::string text;
        for (int x = x0; x < x0 + width; ++x) {
            const auto found = viewerLegend().find(pixelColour(kSheetImage, x, y));
            text += found != viewerLegend().end() ? found->second : '?';
        }
        return text;
    }

    // The checkerboard's letters for the same pixels.
    static std::string checkerRow(int y, int x0 = 0, int width = 16) {
        std::string text;
        for (int x = x0; x < x0 + width; ++x) text += ((x ^ y) & 1) ? 'c' : '.';
        return text;
    }

    // Number of pixels in rows y0.. and columns x0.. that differ from the checkerboard.
    static int pixelsOffTheCheckerboard(int x0, int y0) {
        int count = 0;
        for (int y = y0; y < 512; ++y) {
            for (int x = x0; x < kViewWidth; ++x) {
                const int32_t checker = ((x ^ y) & 1) ? kCheckerCyan : 0;
                if (pixelColour(kSheetImage, x, y) != checker) ++count;
            }
        }
        return count;
    }

    static std::vector<uint8_t> sheetBytes() {
        const ImageBuffer* image = imageBuffer(kSheetImage);
        return std::vector<uint8_t>(image->pixels, image->pixels + int64_t{image->stride} * image->height);
    }

    // Draws the view with the boxes and then, on an image filled with a grey neither draws,
    // with the direct writer: both must give the same bytes.
    static void expectDirectWriterMatchesBoxes(const std::string& what) {
        ASSERT_TRUE(drawSheetByBoxes()) << what;
        const std::vector<uint8_t> byBoxes = sheetBytes();
        std::memset(imageBuffer(kSheetImage)->pixels, 0x55, byBoxes.size());
        ASSERT_EQ(drawSheet(), SheetResult::Drawn) << what;
        ASSERT_TRUE(sheetBytes() == byBoxes) << what;
    }
};

TEST_F(SheetRenderTest, NothingLoadedDrawsNothing) {
    unloadBytes();
    const std::vector<uint8_t> before = sheetBytes();
    EXPECT_EQ(drawSheet(), SheetResult::NothingLoaded);
    EXPECT_EQ(sheetBytes(), before);
}

TEST_F(SheetRenderTest, WithoutTheSheetImageTheDrawingCannotStart) {
    view({1, 2, 3}, kModeBinary, 1, 1);
    freeImage(kSheetImage);
    EXPECT_EQ(drawSheet(), SheetResult::CannotDraw);
}

TEST_F(SheetRenderTest, StateOutsideItsRangesIsRefusedAndTheImageKept) {
    struct Case {
        const char* what;
        int mode, bytesPerRow, zoom;
        int64_t first;
    };
    const Case cases[] = {
        {"zoom 0", kModeBinary, 1, 0, 0},  {"zoom 16", kModeBinary, 1, 16, 0},
        {"width 0", kModeBinary, 0, 1, 0}, {"width 257", kModeBinary, 257, 1, 0},
        {"mode 19", 19, 1, 1, 0},          {"mode -1", -1, 1, 1, 0},
    };
    const std::vector<uint8_t> before = sheetBytes();
    for (const Case& c : cases) {
        view({1, 2, 3}, c.mode, c.bytesPerRow, c.zoom, c.first);
        EXPECT_EQ(drawSheet(), SheetResult::CannotDraw) << c.what;
        EXPECT_EQ(sheetBytes(), before) << c.what;
    }
}

TEST_F(SheetRenderTest, BackgroundIsAOnePixelCheckerboardStartingBlack) {
    view({0x00}, kModeBinary, 1, 1);
    ASSERT_EQ(drawSheet(), SheetResult::Drawn);
    EXPECT_EQ(sheetRow(0, 0, 16),
              "........"
              ".c.c.c.c");
    EXPECT_EQ(sheetRow(1, 0, 8), "c.c.c.c.");
    EXPECT_EQ(sheetRow(511, 592, 8), checkerRow(511, 592, 8));
    EXPECT_EQ(pixelsOffTheCheckerboard(8, 0), 0);
    EXPECT_EQ(pixelsOffTheCheckerboard(0, 1), 0);
}

// At the last row position (or with a positive fine offset near the end) the view starts
// at or past the end: one byte is drawn, as value 0 (BK-0010: blue).
TEST_F(SheetRenderTest, FirstAtOrPastTheEndDrawsOneByteTopLeft) {
    struct Case {
        int mode, bytesPerRow;
        int64_t first;
        std::string cell;
    };
    const Case cases[] = {
        {kModeBinary, 1, 4, "........"},
        {kModeBinary, 3, 10, "........"},
        {kModeBk, 1, 4, "uuuu"},
        {kModeBk, 2, 1000, "uuuu"},
        {kModeSam, 4, 4, ".."},
        {kModeAtari, 1, INT32_MAX, "........"},
        {kModeBk, 1, int64_t{INT32_MAX} + 1, "uuuu"},
    };
    for (const Case& c : cases) {
        view({0xFF, 0xFF, 0xFF, 0xFF}, c.mode, c.bytesPerRow, 1, c.first);
        setHeldValue(HeldValue::Inverse, 1);
        setHeldValue(HeldValue::MultiColumn, 1);
        ASSERT_EQ(drawSheet(), SheetResult::Drawn);
        const int cellWidth = static_cast<int>(c.cell.size());
        EXPECT_EQ(sheetRow(0), c.cell + checkerRow(0, cellWidth, 16 - cellWidth))
            << "mode " << c.mode << " first " << c.first;
        EXPECT_EQ(pixelsOffTheCheckerboard(cellWidth, 0), 0) << "mode " << c.mode << " first " << c.first;
        EXPECT_EQ(pixelsOffTheCheckerboard(0, 1), 0) << "mode " << c.mode << " first " << c.first;
    }
}

TEST_F(SheetRenderTest, BytesBeforeTheDataAreZeroWithoutTheInverse) {
    view({0x00, 0x00, 0x81}, kModeBinary, 1, 1);
    setHeldValue(HeldValue::FineOffset, -2);
    setHeldValue(HeldValue::Inverse, 1);
    ASSERT_EQ(drawSheet(), SheetResult::Drawn);
    const char* const cells[] = {"........", "........", "WWWWWWWW", "WWWWWWWW", ".WWWWWW."};
    for (int y = 0; y < 5; ++y) EXPECT_EQ(sheetRow(y), cells[y] + checkerRow(y, 8, 8)) << y;
    EXPECT_EQ(pixelsOffTheCheckerboard(0, 5), 0);
}

TEST_F(SheetRenderTest, TheViewEndsAfterTheLastByte) {
    view({0xFF, 0xFF, 0xFF, 0xFF, 0xF0}, kModeBinary, 2, 2);
    ASSERT_EQ(drawSheet(), SheetResult::Drawn);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(sheetRow(y, 0, 32), std::string(32, 'W') + checkerRow(y, 32, 0)) << y;
    EXPECT_EQ(sheetRow(4, 0, 32), "WWWWWWWW........" + checkerRow(4, 16, 16));
    EXPECT_EQ(sheetRow(5, 0, 32), "WWWWWWWW........" + checkerRow(5, 16, 16));
    EXPECT_EQ(pixelsOffTheCheckerboard(0, 6), 0);
}

// Width 10 at zoom 1: strips of 10 x 512 bytes start at byte columns 0, 10, .., 70; the
// eighth reaches pixel 639 and is clipped. Strip s is white when s is even.
TEST_F(SheetRenderTest, MultiColumnStripsOfBinaryWidthTen) {
    std::vector<uint8_t> bytes(50000);
    for (size_t n = 0; n < bytes.size(); ++n) bytes[n] = (n / 5120) % 2 == 0 ? 0xFF : 0x00;
    view(bytes, kModeBinary, 10, 1);
    setHeldValue(HeldValue::MultiColumn, 1);
    ASSERT_EQ(drawSheet(), SheetResult::Drawn);
    for (int y : {0, 255, 511}) {
        for (int strip = 0; strip < 8; ++strip) {
            const char expected = strip % 2 == 0 ? 'W' : '.';
            const int width = strip == 7 ? 40 : 80;
            EXPECT_EQ(sheetRow(y, strip * 80, width), std::string(width, expected))
                << "strip " << strip << " y " << y;
        }
    }
}

TEST_F(SheetRenderTest, MultiColumnOffShowsOneStrip) {
    std::vector<uint8_t> bytes(50000, 0xFF);
    view(bytes, kModeBinary, 10, 1);
    ASSERT_EQ(drawSheet(), SheetResult::Drawn);
    EXPECT_EQ(sheetRow(511, 72, 16), "WWWWWWWW" + checkerRow(511, 80, 8));
    EXPECT_EQ(pixelsOffTheCheckerboard(80, 0), 0);
}

// Sam Coupe mode 4 stops starting strips at byte column 80: the bytes cover x = 0..159.
TEST_F(SheetRenderTest, SamStripsStopAtByteColumnEighty) {
    std::vector<uint8_t> bytes(100000, 0xF7);
    view(bytes, kModeSam, 1, 1);
    setHeldValue(HeldValue::MultiColumn, 1);
    ASSERT_EQ(drawSheet(), SheetResult::Drawn);
    for (int y : {0, 300, 511}) {
        EXPECT_EQ(sheetRow(y, 150, 10), "F7F7F7F7F7") << y;
        EXPECT_EQ(sheetRow(y, 160, 10), checkerRow(y, 160, 10)) << y;
    }
    EXPECT_EQ(pixelsOffTheCheckerboard(160, 0), 0);
}

// BK-0010 starts 192 strips at width 1; those from byte column 150 on lie beyond x = 599.
// Strip s shows byte s x 512 in its first row.
TEST_F(SheetRenderTest, BkStripsFillTheWholeWidth) {
    std::vector<uint8_t> bytes(192 * 512);
    for (size_t n = 0; n < bytes.size(); ++n) bytes[n] = n / 512 == 149 ? 0xFF : 0xAA;
    view(bytes, kModeBk, 1, 1);
    setHeldValue(HeldValue::MultiColumn, 1);
    ASSERT_EQ(drawSheet(), SheetResult::Drawn);
    for (int y : {0, 511}) {
        EXPECT_EQ(sheetRow(y, 0, 16), "nnnnnnnnnnnnnnnn");
        EXPECT_EQ(sheetRow(y, 588, 12), "nnnnnnnnrrrr") << "the last visible strip is 149";
    }
    EXPECT_EQ(pixelsOffTheCheckerboard(0, 0), kViewWidth * 512) << "green or red everywhere";
}

// A row of 100 bytes is 800 pixels wide: only its first 75 bytes show, and row 1 starts at
// byte 100. The hidden bytes 75..99 of each row are white; nothing white may show.
TEST_F(SheetRenderTest, RowsWiderThanTheViewAreClipped) {
    std::vector<uint8_t> bytes(60000);
    for (size_t n = 0; n < bytes.size(); ++n) bytes[n] = n % 100 < 75 ? 0x00 : 0xFF;
    view(bytes, kModeBinary, 100, 1);
    ASSERT_EQ(drawSheet(), SheetResult::Drawn);
    for (int y = 0; y < 512; y += 73)
        EXPECT_EQ(sheetRow(y, 0, kViewWidth), std::string(kViewWidth, '.')) << y;
}

// Every mode (the other machines' through the same unit decoding), zoom and option on random data, at widths
// and first bytes that reach the clipped edges, the end of the data and the space before it: the direct
// writer and the per-pixel boxes give the same bytes.
TEST_F(SheetRenderTest, DirectWriterMatchesOneBoxPerPixel) {
    const int widths[] = {1, 2, 3, 7, 10, 40, 75, 100, 193, 256};
    const int64_t firsts[] = {0, -1, -700, 5, 20000, 59999, 123457};
    std::mt19937 random(1234);
    std::vector<uint8_t> bytes(60000);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    int combination = 0;
    for (int mode = 0; mode < kModeTableSize; ++mode) {
        for (int zoom : {1, 2, 4, 8}) {
            // The other machines' modes share the byte transforms: fewer combinations there.
            for (int options = 0; options < 16; options += mode < kColourModeCount ? 1 : 5, ++combination) {
                const int width = widths[combination % std::size(widths)];
                const int64_t first = firsts[combination % std::size(firsts)];
                view(bytes, mode, width, zoom, first);
                setHeldValue(HeldValue::Inverse, options & 1);
                setHeldValue(HeldValue::ReverseByte, (options >> 1) & 1);
                setHeldValue(HeldValue::NibbleSwap, (options >> 2) & 1);
                setHeldValue(HeldValue::MultiColumn, (options >> 3) & 1);
                expectDirectWriterMatchesBoxes("mode " + std::to_string(mode) + " zoom " +
                                               std::to_string(zoom) + " options " + std::to_string(options) +
                                               " width " + std::to_string(width) + " first " +
                                               std::to_string(first));
                if (HasFatalFailure()) return;
            }
        }
    }
}

// Every width with multi columns on, where the strips and their clipping change most.
TEST_F(SheetRenderTest, DirectWriterMatchesBoxesAtEveryWidth) {
    std::mt19937 random(99);
    std::vector<uint8_t> bytes(250000);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    for (int width = 1; width <= kMaxBytesPerRow; width += (width < 20 ? 1 : 13)) {
        const int mode = width % kColourModeCount;
        const int zoom = 1 << (width % 4);
        view(bytes, mode, width, zoom, width * 37);
        setHeldValue(HeldValue::MultiColumn, 1);
        expectDirectWriterMatchesBoxes("mode " + std::to_string(mode) + " zoom " + std::to_string(zoom) +
                                       " width " + std::to_string(width));
        if (HasFatalFailure()) return;
    }
}

TEST_F(SheetRenderTest, StatusLineOfARender) {
    struct Case {
        int32_t byteOffset, fineOffset, bytesPerRow, zoom;
        int mouseX, mouseY;
        const char* text;
    };
    const Case cases[] = {
        {4096, 0, 3, 2, 37, 11, "Disp=4096,width=3,x=18,y=5,size=17"},
        {100, 0, 7, 1, 0, 0, "Disp=100,width=7,x=0,y=0,size=0"},
        {0, -3, 3, 1, 8, 1, "Disp=-3,width=3,x=8,y=1,size=4"},
        {INT32_MAX, 1, 1, 1, 0, 0, "Disp=2147483648,width=1,x=0,y=0,size=0"},
        {0, 0, 256, 8, 599, 511, "Disp=0,width=256,x=74,y=63,size=16137"},
        {0, 0, 256, 1, INT32_MAX, INT32_MAX, "Disp=0,width=256,x=2147483647,y=2147483647,size=687194636287"},
        {0, 0, 1, 4, -37, -5, "Disp=0,width=1,x=-9,y=-1,size=-129"},
    };
    for (const Case& c : cases) {
        viewerState.byteOffset = c.byteOffset;
        setHeldValue(HeldValue::FineOffset, c.fineOffset);
        viewerState.bytesPerRow = c.bytesPerRow;
        viewerState.zoom = c.zoom;
        EXPECT_EQ(statusTextForRender(c.mouseX, c.mouseY), c.text);
    }
}

TEST_F(SheetRenderTest, StatusLineOfAMouseMove) {
    viewerState.bytesPerRow = 3;
    viewerState.zoom = 2;
    EXPECT_EQ(statusTextForMouseMove(17, 5), "Disp:0,width=3,x=8,y=2,size:7");
    noteMousePosition(17, 5);
    EXPECT_EQ(viewerState.mouseCellX, 8);
    EXPECT_EQ(viewerState.mouseCellY, 2);
}

TEST_F(SheetRenderTest, JumpRowOfARightClick) {
    struct Case {
        int bytesPerRow, zoom, rowPosition, mouseX, mouseY;
        int32_t jumpRow;
    };
    const Case cases[] = {
        {1, 1, 0, 20, 100, 1124},  // column 2 x 512 rows + 100
        {1, 1, 5, 20, 100, 1129},  // plus the current row position
        {3, 2, 0, 17, 5, 2},       // byte 7 of the view, 3 bytes per row
        {10, 1, 0, 85, 7, 519},    // strip 1 (byte column 10) holds rows 512..1023
        {256, 8, 0, 0, 511, 63},
    };
    for (const Case& c : cases) {
        viewerState.bytesPerRow = c.bytesPerRow;
        viewerState.zoom = c.zoom;
        setHeldValue(HeldValue::RowPosition, c.rowPosition);
        EXPECT_EQ(jumpRowAt(c.mouseX, c.mouseY), c.jumpRow)
            << "width " << c.bytesPerRow << " zoom " << c.zoom << " at " << c.mouseX << "," << c.mouseY;
    }
}

// Every byte of the data is 0xFF, which no mode draws in black or in the checkerboard's
// cyan; the byte that the status line names is set to 0, which every mode draws black. Where
// a byte is drawn under the pointer, that byte must turn the pixel black, and "jump here"
// must put it in the top row.
TEST_F(SheetRenderTest, StatusNamesTheByteDrawnUnderThePointer) {
    const int pointers[][2] = {{0, 0},     {13, 5},   {37, 130},  {90, 511},  {171, 77},
                               {250, 300}, {333, 17}, {419, 450}, {502, 260}, {599, 511}};
    constexpr int kRow = 3;
    int drawnCases = 0;
    for (int mode = 0; mode < kColourModeCount; ++mode) {
        for (int zoom : {1, 2}) {
            for (int width : {1, 3, 4}) {
                for (int multi : {0, 1}) {
                    view(std::vector<uint8_t>(120000, 0xFF), mode, width, zoom, int64_t{kRow} * width);
                    setHeldValue(HeldValue::RowPosition, kRow);
                    setHeldValue(HeldValue::FineOffset, -1);
                    setHeldValue(HeldValue::MultiColumn, multi);
                    ASSERT_EQ(drawSheet(), SheetResult::Drawn);
                    std::vector<int32_t> before;
                    for (const auto& pointer : pointers)
                        before.push_back(pixelColour(kSheetImage, pointer[0], pointer[1]));
                    for (size_t p = 0; p < before.size(); ++p) {
                        if (before[p] == 0 || before[p] == kCheckerCyan) continue;  // no byte drawn here
                        const int x = pointers[p][0], y = pointers[p][1];
                        ++drawnCases;
                        const std::string status = statusTextForMouseMove(x, y);
                        const int64_t named =
                            viewFirstByte() + std::stoll(status.substr(status.rfind(':') + 1));
                        SCOPED_TRACE("mode " + std::to_string(mode) + " zoom " + std::to_string(zoom) +
                                     " width " + std::to_string(width) + " multi " + std::to_string(multi) +
                                     " at " + std::to_string(x) + "," + std::to_string(y) + ": " + status);
                        ASSERT_TRUE(named >= 0 && named < viewerState.dataSize);
                        viewerState.dataBuffer[named] = 0;
                        ASSERT_EQ(drawSheet(), SheetResult::Drawn);
                        EXPECT_EQ(pixelColour(kSheetImage, x, y), 0);
                        viewerState.dataBuffer[named] = 0xFF;
                        const int64_t topRowFirst =
                            int64_t{jumpRowAt(x, y)} * width + heldValue(HeldValue::FineOffset);
                        EXPECT_GE(named, topRowFirst);
                        EXPECT_LT(named, topRowFirst + width);
                    }
                }
            }
        }
    }
    EXPECT_GT(drawnCases, 200);
}

TEST_F(SheetRenderTest, GeometryNeverDividesByZero) {
    viewerState.zoom = 0;
    viewerState.bytesPerRow = 0;
    EXPECT_EQ(mouseCell(10), 10);
    EXPECT_EQ(mouseByteIndex(16, 10), 1034);
    EXPECT_EQ(jumpRowAt(10, 10), 522);
}

}  // namespace

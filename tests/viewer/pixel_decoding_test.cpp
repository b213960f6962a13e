#include "viewer/pixel_decoding.h"

#include <gtest/gtest.h>

#include "graphics/drawing.h"
#include "graphics/images.h"
#include "tests/graphics/pixel_picture.h"
#include "tests/viewer/viewer_test_support.h"

namespace {

constexpr int kScratchImage = 1;

class PixelDecodingTest : public ::testing::Test {
   protected:
    void SetUp() override { loadBytes({0x12, 0x01, 0xA5, 0x80}); }
    void TearDown() override {
        endDrawing();
        freeImage(kScratchImage);
        unloadBytes();
    }

    // One byte drawn at byteColumn into a grey image just wide and high enough for
    // `columns` byte columns at the zoom, plus one spare row and column.
    std::string drawOneByte(int mode, uint8_t value, int32_t index, int zoom, int byteColumn = 0,
                            int columns = 1) {
        viewerState.zoom = zoom;
        const int width = modeGeometry(mode).unitsPerByte * zoom * columns + 1;
        createImage(kScratchImage, width, zoom + 1, 24, 0x808080);
        EXPECT_NE(beginDrawing(imageTarget(kScratchImage)), 0);
        loadModePalette(mode);
        drawByteCells(mode, value, index, byteColumn, 0);
        endDrawing();
        return picture(kScratchImage, viewerLegend());
    }

    // The first row of drawOneByte without the spare column.
    std::string firstRow(int mode, uint8_t value, int32_t index = 0) {
        const std::string all = drawOneByte(mode, value, index, 1);
        return all.substr(0, all.find('\n') - 1);
    }
};

TEST_F(PixelDecodingTest, OneByteAtZoomOneInEveryMode) {
    struct Case {
        int mode;
        uint8_t value;
        const char* pixels;
    };
    const Case cases[] = {
        {kModeBinary, 0x80, "W......."}, {kModeBinary, 0x01, ".......W"}, {kModeBinary, 0xA5, "W.W..W.W"},
        {kModeBinary, 0x00, "........"}, {kModeBinary, 0xFF, "WWWWWWWW"}, {kModeAtari, 0x1B, "..ooggtt"},
        {kModeAtari, 0xE4, "ttggoo.."},  {kModeAtari, 0x55, "oooooooo"},  {kModeAtari, 0x00, "........"},
        {kModeBk, 0x1B, "rnu."},         {kModeBk, 0xE4, ".unr"},         {kModeBk, 0xAA, "nnnn"},
        {kModeSam, 0x1B, "1B"},          {kModeSam, 0xF0, "F."},          {kModeSam, 0x07, ".7"},
        {kModeSam, 0x8E, "8E"},          {kModeSam, 0x3C, "3C"},          {kModeSam, 0xD5, "D5"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(firstRow(c.mode, c.value), c.pixels) << "mode " << c.mode << " value " << int(c.value);
    }
}

// Whole cells including the spare row and column, which must stay grey.
TEST_F(PixelDecodingTest, CellsAtLargerZooms) {
    struct Case {
        int mode;
        uint8_t value;
        int zoom;
        std::string picture;
    };
    const std::string binary7 = "WWWWWWW.";
    const Case cases[] = {
        {kModeBinary, 0x80, 2, rows({"WW..............-", "WW..............-", "-----------------"})},
        {kModeBinary, 0x41, 4,
         rows({"....WWWW....................WWWW-", "....WWWW....................WWWW-",
               "....WWWW....................WWWW-", "....WWWW....................WWWW-",
               "---------------------------------"})},
        {kModeAtari, 0x1B, 2,
         rows({"....oooogggg"
               "tttt-",
               "....oooogggg"
               "tttt-",
               "-----------------"})},
        {kModeBk, 0x1B, 2, rows({"rrnnuu..-", "rrnnuu..-", "---------"})},
        {kModeSam, 0x1B, 4, rows({"1111BBBB-", "1111BBBB-", "1111BBBB-", "1111BBBB-", "---------"})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(drawOneByte(c.mode, c.value, 0, c.zoom), c.picture)
            << "mode " << c.mode << " value " << int(c.value) << " zoom " << c.zoom;
    }
}

// At zoom 8 a Binary pixel is an 8 x 8 black cell with its colour in the top-left 7 x 7.
TEST_F(PixelDecodingTest, BinaryAtZoomEightLeavesABlackLineRightAndBelow) {
    std::string expected;
    for (int y = 0; y < 7; ++y)
        expected += "WWWWWWW.WWWWWWW.........WWWWWWW.........................WWWWWWW.-\n";
    expected += std::string(64, '.') + "-\n" + std::string(65, '-') + "\n";
    EXPECT_EQ(drawOneByte(kModeBinary, 0xD1, 0, 8), expected);
}

TEST_F(PixelDecodingTest, OtherModesFillTheirWholeCellAtZoomEight) {
    std::string expected;
    for (int y = 0; y < 8; ++y)
        expected +=
            std::string(16, '.') + std::string(16, 'o') + std::string(16, 'g') + std::string(16, 't') + "-\n";
    expected += std::string(65, '-') + "\n";
    EXPECT_EQ(drawOneByte(kModeAtari, 0x1B, 0, 8), expected);
    std::string sam;
    for (int y = 0; y < 8; ++y) sam += std::string(8, 'F') + std::string(8, '.') + "-\n";
    sam += std::string(17, '-') + "\n";
    EXPECT_EQ(drawOneByte(kModeSam, 0xF0, 0, 8), sam);
}

TEST_F(PixelDecodingTest, BkBytesAtOrPastTheEndAreBlue) {
    struct Case {
        int32_t index;
        uint8_t value;
        const char* pixels;
    };
    const Case cases[] = {
        {3, 0x1B, "rnu."},    // the last byte of the data
        {4, 0x1B, "uuuu"},    // at the end
        {4, 0x00, "uuuu"},    // whatever its value
        {500, 0xFF, "uuuu"},  // far past it
        {-1, 0x1B, "rnu."},   // before the start the value decides
        {-1, 0x00, "...."},
    };
    for (const Case& c : cases) EXPECT_EQ(firstRow(kModeBk, c.value, c.index), c.pixels) << c.index;
    EXPECT_EQ(firstRow(kModeBinary, 0x00, 4), "........") << "only BK-0010 has a past-end colour";
    EXPECT_EQ(firstRow(kModeSam, 0x00, 4), "..");
}

TEST_F(PixelDecodingTest, ByteColumnMovesTheCellByItsUnitsTimesZoom) {
    EXPECT_EQ(drawOneByte(kModeSam, 0x1B, 0, 2, 3, 4),
              rows({"------------11BB-", "------------11BB-", "-----------------"}));
    EXPECT_EQ(drawOneByte(kModeAtari, 0xC0, 0, 1, 1, 2), rows({"--------tt......-", "-----------------"}));
    EXPECT_EQ(drawOneByte(kModeBk, 0x03, 0, 1, 2, 3), rows({"--------r...-", "-------------"}));
}

TEST_F(PixelDecodingTest, AnUnknownModeDrawsNothing) {
    EXPECT_EQ(drawOneByte(kModeBinary, 0xFF, 0, 1).substr(0, 9), "WWWWWWWW-");
    viewerState.zoom = 1;
    createImage(kScratchImage, 4, 1, 24, 0x808080);
    ASSERT_NE(beginDrawing(imageTarget(kScratchImage)), 0);
    drawByteCells(4, 0xFF, 0, 0, 0);
    drawByteCells(-1, 0xFF, 0, 0, 0);
    endDrawing();
    EXPECT_EQ(picture(kScratchImage, viewerLegend()), "----\n");
}

TEST_F(PixelDecodingTest, PalettesHoldTheDocumentedColours) {
    const int32_t atari[4] = {0x000000, 0x4F65B3, 0x35BC84, 0x5E510C};
    const int32_t bk[4] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    const int32_t sam[16] = {0x000000, 0x490000, 0x000049, 0x490049, 0x004900, 0x494900, 0x004949, 0x494949,
                             0x242424, 0x6D2424, 0x24246D, 0x6D246D, 0x246D24, 0x6D6D24, 0x246D6D, 0x6D6D6D};
    viewerState.palette.fill(0x123456);
    loadModePalette(kModeAtari);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(viewerState.palette[i], atari[i]) << i;
    for (int i = 4; i < 16; ++i) EXPECT_EQ(viewerState.palette[i], 0x123456) << "Atari leaves entry " << i;
    loadModePalette(kModeBk);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(viewerState.palette[i], bk[i]) << i;
    loadModePalette(kModeSam);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(viewerState.palette[i], sam[i]) << i;
    viewerState.palette.fill(0x123456);
    loadModePalette(kModeBinary);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(viewerState.palette[i], 0x123456) << "Binary leaves entry " << i;
}

// The data is 12 01 A5 80; index -1 lies before it and 4 at its end.
TEST_F(PixelDecodingTest, ViewByteValueAppliesTheOptionsInsideTheDataOnly) {
    struct Case {
        bool inverse, reverse, nibble;
        int expected[6];  // indices -1, 0, 1, 2, 3, 4
    };
    const Case cases[] = {
        {false, false, false, {0x00, 0x12, 0x01, 0xA5, 0x80, 0x00}},
        {true, false, false, {0x00, 0xED, 0xFE, 0x5A, 0x7F, 0x00}},
        {false, true, false, {0x00, 0x48, 0x80, 0xA5, 0x01, 0x00}},
        {false, false, true, {0x00, 0x21, 0x10, 0x5A, 0x08, 0x00}},
        {false, true, true, {0x00, 0x84, 0x08, 0x5A, 0x10, 0x00}},
        {true, true, false, {0x00, 0xB7, 0x7F, 0x5A, 0xFE, 0x00}},
        {true, false, true, {0x00, 0xDE, 0xEF, 0xA5, 0xF7, 0x00}},
        {true, true, true, {0x00, 0x7B, 0xF7, 0xA5, 0xEF, 0x00}},
    };
    for (const Case& c : cases) {
        setHeldValue(HeldValue::Inverse, c.inverse);
        setHeldValue(HeldValue::ReverseByte, c.reverse);
        setHeldValue(HeldValue::NibbleSwap, c.nibble);
        for (int index = -1; index <= 4; ++index) {
            EXPECT_EQ(viewByteValue(index), c.expected[index + 1])
                << "inverse " << c.inverse << " reverse " << c.reverse << " nibble " << c.nibble << " index "
                << index;
        }
    }
}

// Every value with every option, against the options worked out bit by bit.
TEST_F(PixelDecodingTest, TransformedByteOfEveryValue) {
    for (int v = 0; v < 256; ++v) {
        for (int options = 0; options < 8; ++options) {
            const bool inverse = options & 1, reverse = options & 2, nibble = options & 4;
            int expected = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const int to = (reverse ? 7 - bit : bit) ^ (nibble ? 4 : 0);
                expected |= (((v >> bit) & 1) ^ inverse) << to;
            }
            EXPECT_EQ(transformedByte(v, inverse, reverse, nibble), expected) << v << " options " << options;
        }
    }
}

TEST_F(PixelDecodingTest, InverseInBinaryShowsBytesBeforeTheDataBlack) {
    setHeldValue(HeldValue::Inverse, 1);
    EXPECT_EQ(firstRow(kModeBinary, viewByteValue(-1), -1), "........");
    EXPECT_EQ(firstRow(kModeBinary, viewByteValue(3), 3), ".WWWWWWW");
}

TEST_F(PixelDecodingTest, NothingLoadedReadsAsZero) {
    unloadBytes();
    buildByteTables();
    setHeldValue(HeldValue::Inverse, 1);
    EXPECT_EQ(viewByteValue(0), 0);
    EXPECT_EQ(viewByteValue(INT32_MAX), 0);
    EXPECT_EQ(viewByteValue(INT32_MIN), 0);
}

}  // namespace

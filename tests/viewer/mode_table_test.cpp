#include "viewer/mode_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "graphics/images.h"
#include "tests/graphics/pixel_picture.h"
#include "tests/viewer/viewer_test_support.h"

namespace {

int mode(const char* cliName) {
    return modeByCliName(cliName);
}

// `size` zero bytes with the given ones set.
std::vector<uint8_t> bytesAt(size_t size, std::initializer_list<std::pair<size_t, uint8_t>> set) {
    std::vector<uint8_t> bytes(size, 0);
    for (const auto& [index, value] : set) bytes[index] = value;
    return bytes;
}

// The colour of value v in a mode of `bits` bits: grey 255 x v div (2^bits - 1); in the ZX
// screen a colour number with bright as bit 3: bit 1 red, bit 2 green, bit 0 blue.
int32_t expectedColour(int mode, int bits, int v) {
    if (mode == kModeZx) {
        const int level = (v & 8) ? 0xFF : 0xD7;
        return ((v & 2) ? level : 0) | ((v & 4) ? level : 0) << 8 | ((v & 1) ? level : 0) << 16;
    }
    const int level = 255 * v / ((1 << bits) - 1);
    return level | level << 8 | level << 16;
}

class ModeTableTest : public ::testing::Test {
   protected:
    void SetUp() override { ASSERT_NE(createImage(kSheetImage, kViewWidth, 512), 0); }
    void TearDown() override {
        freeImage(-1);
        unloadBytes();
    }

    void render(const std::vector<uint8_t>& bytes, int mode, int width, int64_t first = 0, bool multi = false,
                bool inverse = false) {
        loadBytes(bytes);
        viewerState.colourMode = mode;
        viewerState.bytesPerRow = width;
        viewerState.byteOffset = static_cast<int32_t>(first);
        setHeldValue(HeldValue::MultiColumn, multi);
        setHeldValue(HeldValue::Inverse, inverse);
        ASSERT_EQ(drawSheet(), SheetResult::Drawn);
    }

    // The values of the pixels of sheet row y from pixel `from`, as hex digits ('?' for another
    // colour), one for each letter of `expected`; where it expects '-' the checkerboard's colour
    // reads '-' (zoom 1).
    static std::string pixelValues(int mode, int y, int from, const std::string& expected) {
        const ModeRow& row = *modeRow(mode);
        std::string text;
        for (int i = 0; i < static_cast<int>(expected.size()); ++i) {
            const int x = (from + i) * row.pixelWidth;
            const int32_t colour = pixelColour(kSheetImage, x, y);
            char letter = '?';
            for (int v = std::min((1 << row.bits) - 1, 31); v >= 0; --v) {
                if (colour == expectedColour(mode, row.bits, v))
                    letter = "0123456789abcdefghijklmnopqrstuv"[v];
            }
            if (expected[i] == '-' && colour == (((x ^ y) & 1) ? kCheckerCyan : 0)) letter = '-';
            text += letter;
        }
        return text;
    }
};

// Bytes worked out by hand into pixel values (hex digits; '-' the checkerboard).
TEST_F(ModeTableTest, GoldenRowsAndTiles) {
    struct Case {
        const char* what;
        int mode, width;
        std::vector<uint8_t> bytes;
        int y, from;
        const char* values;
        int64_t first = 0;
        bool multi = false, inverse = false;
    };
    // clang-format off
    const Case cases[] = {
        {"chunky8 row 1", kModeChunky8, 2, {0x00, 0x1F, 0x05, 0x10}, 1, 0, "5g"},
        {"cpc1: bit 7-j, bit 3-j", mode("cpc1"), 2, {0x88, 0x84}, 0, 0, "30001200"},
        {"cpc0: 7,3,5,1 and 6,2,4,0", mode("cpc0"), 3, {0x80, 0x0A, 0x45}, 0, 0, "10a00b"},
        {"amiga4: plane b at b x W", mode("amiga4"), 1, {0x80, 0x80, 0x00, 0x01}, 0, 0, "30000008"},
        {"amiga5 pixel 1", mode("amiga5"), 1, {0x40, 0, 0, 0, 0x40}, 0, 0, "0h000000"},
        {"st4: planes by words", mode("st4"), 8, {0x80, 0x80, 0x80, 0, 0, 0, 0, 0x01}, 0, 0, "3000000010000008"},
        {"cells1", mode("cells1"), 1, bytesAt(8, {{0, 0xA5}, {7, 0x01}}), 0, 0, "10100101"},
        {"cells1 row 7", mode("cells1"), 1, bytesAt(8, {{0, 0xA5}, {7, 0x01}}), 7, 0, "00000001"},
        {"cells2w: pairs from the top", mode("cells2w"), 1, bytesAt(8, {{0, 0x1B}}), 0, 0, "0123"},
        {"nes row 0", kModeNes, 1, bytesAt(16, {{0, 0x80}, {1, 0x01}, {8, 0xC0}}), 0, 0, "32000000"},
        {"nes row 1", kModeNes, 1, bytesAt(16, {{0, 0x80}, {1, 0x01}, {8, 0xC0}}), 1, 0, "00000001"},
        {"gb row 1", mode("gb"), 1, bytesAt(16, {{0, 0x80}, {1, 0xC0}, {2, 0x01}, {3, 0x01}}), 1, 0, "00000003"},
        {"snes4 row 0", mode("snes4"), 1, bytesAt(32, {{0, 0x80}, {1, 0x40}, {16, 0x20}, {17, 0x10}}), 0, 0, "12480000"},
        {"sms row 1", mode("sms"), 1, bytesAt(32, {{4, 0x80}, {5, 0x40}, {6, 0x20}, {7, 0x11}}), 1, 0, "12480008"},
        {"genesis: high nibble first", mode("genesis"), 1, {0x12, 0x34, 0x56, 0x78}, 0, 0, "12345678"},
        {"gba4: low nibble first", mode("gba4"), 1, {0x12, 0x34, 0x56, 0x78}, 0, 0, "21436587"},
        {"nes, inverse: bytes past the end read 0", kModeNes, 2, std::vector<uint8_t>(10, 0), 2, 0, "11111111--------", 0, false, true},
        {"a tile wholly before the data is not drawn", mode("gba4"), 2, std::vector<uint8_t>(40, 0x11), 0, 0, "--------11111111", -32},
        // Strip 1 starts 64 view rows of 2 cells of 8 bytes on.
        {"cells1 strip 1", mode("cells1"), 2, bytesAt(2048, {{1024, 0xFF}}), 0, 8, "0000000011111111", 0, true},
    };
    // clang-format on
    for (const Case& c : cases) {
        render(c.bytes, c.mode, c.width, c.first, c.multi, c.inverse);
        EXPECT_EQ(pixelValues(c.mode, c.y, c.from, c.values), c.values) << c.what;
    }
}

// Pictures encoded by hand-written encoders into the machines' layouts are drawn back.
TEST_F(ModeTableTest, EncodedPicturesRenderBack) {
    using Encoder = std::function<void(std::vector<uint8_t>&, int x, int y, int v)>;
    // Plane p of tile row y at byte scale x y + offset of tile (y / 8) x 5 + x / 8, bit 7 - x % 8.
    const auto tiles = [](int tileBytes, std::vector<std::pair<int, int>> planes) {
        return Encoder([=](std::vector<uint8_t>& out, int x, int y, int v) {
            const size_t tile = static_cast<size_t>((y / 8) * 5 + x / 8) * tileBytes;
            for (size_t p = 0; p < planes.size(); ++p)
                out[tile + planes[p].first * (y % 8) + planes[p].second] |= ((v >> p) & 1) << (7 - x % 8);
        });
    };
    // Amiga: plane p of row y is the p-th row of `width` bytes of the row's group.
    const auto amiga = [](int planes) {
        return Encoder([=](std::vector<uint8_t>& out, int x, int y, int v) {
            for (int p = 0; p < planes; ++p)
                out[static_cast<size_t>(y * planes + p) * 4 + x / 8] |= ((v >> p) & 1) << (7 - x % 8);
        });
    };
    struct Case {
        const char* what;
        int mode, width, pixelsAcross, rows, bytes;
        Encoder encode;
    };
    const Case cases[] = {
        {"nes", kModeNes, 5, 40, 24, 15 * 16, tiles(16, {{1, 0}, {1, 8}})},
        {"gb", mode("gb"), 5, 40, 24, 15 * 16, tiles(16, {{2, 0}, {2, 1}})},
        {"snes4", mode("snes4"), 5, 40, 24, 15 * 32, tiles(32, {{2, 0}, {2, 1}, {2, 16}, {2, 17}})},
        {"amiga4", mode("amiga4"), 4, 32, 20, 20 * 16, amiga(4)},
        {"amiga5", mode("amiga5"), 4, 32, 20, 20 * 20, amiga(5)},
    };
    for (const Case& c : cases) {
        const int bits = modeRow(c.mode)->bits;
        const auto picture = [&](int x, int y) { return (x * 7 + y * 13 + x * y) % (1 << bits); };
        std::vector<uint8_t> bytes(c.bytes, 0);
        for (int y = 0; y < c.rows; ++y)
            for (int x = 0; x < c.pixelsAcross; ++x) c.encode(bytes, x, y, picture(x, y));
        render(bytes, c.mode, c.width);
        int wrong = 0;
        for (int y = 0; y < c.rows; ++y)
            for (int x = 0; x < c.pixelsAcross; ++x)
                wrong += pixelColour(kSheetImage, x, y) != expectedColour(c.mode, bits, picture(x, y));
        EXPECT_EQ(wrong, 0) << c.what;
    }
}

// A picture of 8 x 8 cells of two colours each, written as a screen: the bitmap in thirds
// of eight character rows of eight pixel lines, then one attribute per cell.
TEST_F(ModeTableTest, ZxScreenMadeFromAPicture) {
    std::vector<uint8_t> screen(6912, 0);
    const auto ink = [](int cx, int cy) { return (cx + cy) % 8; };
    const auto paper = [](int cx, int cy) { return (cx * 3 + cy + 1) % 8; };
    const auto bright = [](int cx, int cy) { return (cx ^ cy) & 1; };
    const auto set = [](int x, int y) { return (x * y + x) % 3 == 0; };
    for (int y = 0; y < 192; ++y) {
        for (int x = 0; x < 256; ++x) {
            const int third = y / 64, charRow = (y / 8) % 8, line = y % 8;
            if (set(x, y)) screen[third * 2048 + line * 256 + charRow * 32 + x / 8] |= 0x80 >> (x % 8);
        }
    }
    for (int cy = 0; cy < 24; ++cy)
        for (int cx = 0; cx < 32; ++cx)
            screen[6144 + cy * 32 + cx] =
                static_cast<uint8_t>(bright(cx, cy) << 6 | paper(cx, cy) << 3 | ink(cx, cy));
    render(screen, kModeZx, 1);
    int wrong = 0;
    for (int y = 0; y < 192; ++y) {
        for (int x = 0; x < 256; ++x) {
            const int cx = x / 8, cy = y / 8;
            const int colour = (set(x, y) ? ink(cx, cy) : paper(cx, cy)) | bright(cx, cy) << 3;
            wrong += pixelColour(kSheetImage, x, y) != expectedColour(kModeZx, 4, colour);
        }
    }
    EXPECT_EQ(wrong, 0);
}

// The byte under the pointer: the tile's first byte, or the row's byte holding the pixel.
TEST_F(ModeTableTest, ByteUnderThePointerAndJumpRow) {
    struct Case {
        const char* what;
        int mode, width;
        bool multi;
        int x, y;
        int64_t byte;
        int jumpRow;
    };
    const Case cases[] = {
        {"nes second tile, row 1", kModeNes, 2, false, 9, 9, 48, 1},
        {"nes strip 1", kModeNes, 2, true, 17, 0, 2048, 64},
        {"chunky8", kModeChunky8, 10, false, 5, 2, 25, 2},
        {"cpc0 wide pixels", mode("cpc0"), 4, false, 5, 1, 5, 1},
        {"amiga4 plane 0", mode("amiga4"), 2, false, 9, 1, 9, 1},
        {"st4 second byte of the group", mode("st4"), 16, false, 9, 1, 17, 1},
        {"st4 second group", mode("st4"), 16, false, 17, 0, 8, 0},
        {"zx second screen", kModeZx, 1, false, 100, 200, 6912, 1},
        {"cells2w third cell", mode("cells2w"), 3, false, 17, 0, 16, 0},
    };
    for (const Case& c : cases) {
        loadBytes({0});
        viewerState.colourMode = c.mode;
        viewerState.bytesPerRow = c.width;
        setHeldValue(HeldValue::MultiColumn, c.multi);
        EXPECT_EQ(mouseByteIndex(c.x, c.y), c.byte) << c.what;
        EXPECT_EQ(jumpRowAt(c.x, c.y), c.jumpRow) << c.what;
    }
}

}  // namespace

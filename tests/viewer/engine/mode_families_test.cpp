// Pictures put into each machine's format by small encoders written from the formats themselves, then
// drawn back by the sheet renderer: every screen pixel must show its picture pixel's colour.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

#include "tests/graphics/pixel_picture.h"
#include "tests/viewer/engine/kernel_tables.h"
#include "tests/viewer/engine/viewer_test_support.h"
#include "viewer/engine/format_files.h"
#include "viewer/engine/mode_table.h"

namespace {

// Value of pixel (x, y) of the test picture: a hash, so that every value, edge and tile differs.
int pictureValue(int x, int y, int bits) {
    uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u;
    h = (h ^ h >> 13) * 0x5BD1E995u;
    return static_cast<int>((h ^ h >> 15) & ((1u << bits) - 1));
}

int32_t rgb(int red, int green, int blue) {
    return red | green << 8 | blue << 16;
}

// Draws the bytes from `first` at each zoom into a fresh sheet: the w x h view units at the top left
// must show expected(x, y). The first pixel that does not is named.
void expectDrawn(const std::vector<uint8_t>& bytes, int mode, int width, std::vector<int> zooms,
                 int64_t first, int w, int h, const std::function<int32_t(int, int)>& expected) {
    ASSERT_NE(createImage(kSheetImage, kViewWidth, 512), 0);
    const ImageBuffer* image = imageBuffer(kSheetImage);
    for (const int zoom : zooms) {
        std::memset(image->pixels, 0x13, static_cast<size_t>(image->stride) * image->height);
        EXPECT_EQ(drawTestView(testView(bytes, mode, width, zoom, first)), SheetResult::Drawn);
        int count = 0;
        std::string where;
        for (int y = 0; y < h * zoom; ++y)
            for (int x = 0; x < w * zoom; ++x)
                if (pixelColour(kSheetImage, x, y) != expected(x / zoom, y / zoom) && count++ == 0)
                    where = std::to_string(x / zoom) + "," + std::to_string(y / zoom);
        EXPECT_EQ(count, 0) << modeRow(mode)->cliName << " zoom " << zoom << ", first at " << where;
    }
    freeImage(-1);
}

// The pictures are drawn once per kernel table.
class ModeFamiliesTest : public KernelTableTest {};

INSTANTIATE_KERNEL_TABLES(ModeFamiliesTest);

// Bit address (8 x byte + position, position 0 the byte's top bit) of value bit b of pixel (x, y) of a
// picture w pixels wide. Tiles go left to right, then down.
using PictureBit = int (*)(int x, int y, int b, int w);
int tileAt(int x, int y, int w, int tileWidth, int tileBytes) {
    return (y / 8 * (w / tileWidth) + x / tileWidth) * tileBytes;
}
// The position of bit n (0 = least significant) of a byte.
int top(int n) {
    return 7 - n;
}

struct PictureRow {
    const char* mode;
    int bits, unit, across;  // view units per pixel; pixels per byte of width (linear) or per tile
    PictureBit at;
    int width, zoom;
};

// The picture put into the row's format, every other bit of the bytes random, drawn back.
void expectPictureDrawsBack(const PictureRow& row) {
    const int mode = modeByCliName(row.mode);
    ASSERT_GE(mode, 0) << row.mode;
    const int w = row.across * row.width, h = 42;
    std::vector<uint8_t> bytes, used;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int b = 0; b < row.bits; ++b) {
                const int at = row.at(x, y, b, w);
                if (at / 8 >= static_cast<int>(bytes.size()))
                    bytes.resize(at / 8 + 1), used.resize(at / 8 + 1);
                bytes[at / 8] |= (pictureValue(x, y, row.bits) >> b & 1) << (7 - at % 8);
                used[at / 8] |= 0x80 >> at % 8;
            }
    for (size_t n = 0; n < bytes.size(); ++n) bytes[n] |= pictureValue(static_cast<int>(n), -1, 8) & ~used[n];
    expectDrawn(bytes, mode, row.width, {row.zoom}, 0, w * row.unit, h,
                [&](int x, int y) { return modePixelColour(mode, pictureValue(x / row.unit, y, row.bits)); });
}

// Every format but the ZX screen, written from the machines' own descriptions: value bit b of each
// pixel put where the machine keeps it, then drawn back.
TEST_P(ModeFamiliesTest, PicturesInEveryFormatDrawBack) {
    using Row = PictureRow;
    // clang-format off
    const Row rows[] = {
        {"binary", 1, 1, 8, [](int x, int y, int, int w) { return y * w + x; }, 9, 2},
        {"atari", 2, 2, 4, [](int x, int y, int b, int w) { return 8 * (y * w / 4 + x / 4) + top(6 - 2 * (x % 4) + b); }, 13, 1},
        {"bk", 2, 1, 4, [](int x, int y, int b, int w) { return 8 * (y * w / 4 + x / 4) + top(2 * (x % 4) + b); }, 10, 2},
        {"sam", 4, 1, 2, [](int x, int y, int b, int w) { return 8 * (y * w / 2 + x / 2) + top((x % 2 ? 0 : 4) + b); }, 20, 4},
        {"chunky8", 8, 1, 1, [](int x, int y, int b, int w) { return 8 * (y * w + x) + top(b); }, 33, 2},
        {"cpc0", 4, 2, 2, [](int x, int y, int b, int w) { const int even[] = {7, 3, 5, 1}; return 8 * (y * w / 2 + x / 2) + top(even[b] - x % 2); }, 11, 2},
        {"cpc1", 2, 1, 4, [](int x, int y, int b, int w) { return 8 * (y * w / 4 + x / 4) + top((b ? 3 : 7) - x % 4); }, 9, 1},
        {"amiga4", 4, 1, 8, [](int x, int y, int b, int w) { return 8 * ((4 * y + b) * (w / 8) + x / 8) + x % 8; }, 7, 2},
        {"amiga5", 5, 1, 8, [](int x, int y, int b, int w) { return 8 * ((5 * y + b) * (w / 8) + x / 8) + x % 8; }, 4, 8},
        {"st4", 4, 1, 2, [](int x, int y, int b, int w) { return 8 * (y * w / 2 + x / 16 * 8 + 2 * b + x % 16 / 8) + x % 8; }, 24, 1},
        {"cells1", 1, 1, 8, [](int x, int y, int, int w) { return 8 * (tileAt(x, y, w, 8, 8) + y % 8) + x % 8; }, 5, 2},
        {"cells2w", 2, 2, 4, [](int x, int y, int b, int w) { return 8 * (tileAt(x, y, w, 4, 8) + y % 8) + top(6 - 2 * (x % 4) + b); }, 6, 2},
        {"nes", 2, 1, 8, [](int x, int y, int b, int w) { return 8 * (tileAt(x, y, w, 8, 16) + 8 * b + y % 8) + x % 8; }, 9, 1},
        {"gb", 2, 1, 8, [](int x, int y, int b, int w) { return 8 * (tileAt(x, y, w, 8, 16) + 2 * (y % 8) + b) + x % 8; }, 6, 2},
        {"snes4", 4, 1, 8, [](int x, int y, int b, int w) { return 8 * (tileAt(x, y, w, 8, 32) + b / 2 * 16 + 2 * (y % 8) + b % 2) + x % 8; }, 12, 1},
        {"sms", 4, 1, 8, [](int x, int y, int b, int w) { return 8 * (tileAt(x, y, w, 8, 32) + 4 * (y % 8) + b) + x % 8; }, 7, 2},
        {"genesis", 4, 1, 8, [](int x, int y, int b, int w) { return 8 * (tileAt(x, y, w, 8, 32) + 4 * (y % 8) + x % 8 / 2) + top((x % 2 ? 0 : 4) + b); }, 5, 1},
        {"gba4", 4, 1, 8, [](int x, int y, int b, int w) { return 8 * (tileAt(x, y, w, 8, 32) + 4 * (y % 8) + x % 8 / 2) + top((x % 2 ? 4 : 0) + b); }, 10, 2},
    };
    // clang-format on
    for (const Row& row : rows) expectPictureDrawsBack(row);
}

// The tile of pixel (x, y) of a picture w pixels wide, of tiles tw x th pixels and `bytes` bytes.
int tileOf(int x, int y, int w, int tw, int th, int bytes) {
    return (y / th * (w / tw) + x / tw) * bytes;
}

// The shipped format files, each checked by an encoder written from the machine's own description.
TEST_P(ModeFamiliesTest, ShippedFormatFilesDrawBack) {
    static const std::vector<std::string> refused = loadFormatFolder(PL_FORMATS_PATH);
    EXPECT_TRUE(refused.empty()) << refused.front();
    // clang-format off
    const PictureRow rows[] = {
        {"c64-sprite", 1, 1, 24, [](int x, int y, int, int w) { return 8 * (tileOf(x, y, w, 24, 21, 64) + 3 * (y % 21) + x % 24 / 8) + x % 8; }, 3, 1},
        {"c64-sprite-mc", 2, 2, 12, [](int x, int y, int b, int w) { return 8 * (tileOf(x, y, w, 12, 21, 64) + 3 * (y % 21) + x % 12 / 4) + top(6 - 2 * (x % 4) + b); }, 4, 2},
        {"snes2", 2, 1, 8, [](int x, int y, int b, int w) { return 8 * (tileOf(x, y, w, 8, 8, 16) + 2 * (y % 8) + b) + x % 8; }, 5, 1},
        {"snes8", 8, 1, 8, [](int x, int y, int b, int w) { return 8 * (tileOf(x, y, w, 8, 8, 64) + 16 * (b / 2) + 2 * (y % 8) + b % 2) + x % 8; }, 6, 2},
        {"gba8", 8, 1, 8, [](int x, int y, int b, int w) { return 8 * (tileOf(x, y, w, 8, 8, 64) + 8 * (y % 8) + x % 8) + top(b); }, 7, 1},
        {"snes-mode7", 8, 1, 8, [](int x, int y, int b, int w) { return 8 * (tileOf(x, y, w, 8, 8, 128) + 2 * (8 * (y % 8) + x % 8) + 1) + top(b); }, 3, 2},
        {"amiga-sprite", 2, 1, 16, [](int x, int y, int b, int w) { return 8 * (4 * (y * w / 16 + x / 16) + 2 * b) + x % 16; }, 1, 4},
    };
    // clang-format on
    for (const PictureRow& row : rows) expectPictureDrawsBack(row);
}

// Blocks of 8 x 8 pixels, each with its ink, paper, bright and flash; pixel rows interleaved by
// thirds of the screen, character rows and pixel rows within a character; attributes after.
TEST_P(ModeFamiliesTest, ZxScreenFromPicture) {
    const auto attribute = [](int bx, int by) {
        return (bx + by) % 8 | (3 * bx + 5 * by + 1) % 8 << 3 | ((bx + 2 * by) % 3 == 0) << 6 |
               ((bx ^ by) & 4) << 5;
    };
    std::vector<uint8_t> screen(6912);
    for (int y = 0; y < 192; ++y)
        for (int x = 0; x < 256; ++x)
            if (pictureValue(x, y, 1))
                screen[y / 64 * 2048 + y % 8 * 256 + y / 8 % 8 * 32 + x / 8] |= 0x80 >> x % 8;
    for (int block = 0; block < 768; ++block) screen[6144 + block] = attribute(block % 32, block / 32);
    expectDrawn(screen, kModeZx, 1, {1, 2}, 0, 256, 192, [&](int x, int y) {
        const int a = attribute(x / 8, y / 8), level = a & 0x40 ? 0xFF : 0xD7;
        const int c = pictureValue(x, y, 1) ? a & 7 : a >> 3 & 7;
        return rgb(c & 2 ? level : 0, c & 4 ? level : 0, c & 1 ? level : 0);
    });
}

// The character set of the ROM, 96 glyphs of 8 bytes at $3D00, as 8x8 cells 16 to a view row.
TEST_P(ModeFamiliesTest, ZxRomCharacterSetIsAGlyphGrid) {
    std::ifstream file("/usr/share/spectrum-roms/opense.rom", std::ios::binary);
    const std::vector<uint8_t> rom{std::istreambuf_iterator<char>(file), {}};
    if (rom.size() != 16384u)
        GTEST_SKIP() << "no ZX ROM at /usr/share/spectrum-roms/opense.rom: install opense-basic";
    const int set = 0x3D00;
    expectDrawn(rom, modeByCliName("cells1"), 16, {1, 4}, set, 128, 48, [&](int x, int y) {
        const int k = y / 8 * 16 + x / 8;
        return rom[set + 8 * k + y % 8] & 0x80 >> x % 8 ? rgb(255, 255, 255) : 0;
    });
}

}  // namespace

namespace {

// Units are decoded side by side into one line of packed bytes: a decoder that writes past its
// pixels' bytes lands on the next unit's, which no picture shows while the units go left to right.
// Every decoder, every unit row (a tile's, or 64 pixels of a linear row), on arbitrary bytes.
TEST(ModeFamilies, DecodersWriteOnlyTheirUnitRow) {
    std::vector<uint8_t> bytes(8192);
    for (size_t n = 0; n < bytes.size(); ++n) bytes[n] = static_cast<uint8_t>(n * 2654435761u >> 13);
    uint8_t identity[256];
    for (int v = 0; v < 256; ++v) identity[v] = static_cast<uint8_t>(v);
    for (int mode = 0; mode < kModeTableSize; ++mode) {
        const ModeRow& row = *modeRow(mode);
        const int pixels = row.layout == ModeLayout::Tiled ? row.unitPixels : 64;
        for (int y = 0; y < row.unitHeight; ++y) {
            for (const uint8_t guard : {0x00, 0xFF}) {
                uint8_t packed[512];
                std::memset(packed, guard, sizeof packed);
                decodeUnitRow(row, {bytes.data(), int64_t(bytes.size()), identity, 64, 40}, y, pixels,
                              packed);
                const auto last = std::find_if(std::rbegin(packed), std::rend(packed),
                                               [&](uint8_t b) { return b != guard; });
                const int written = static_cast<int>(std::rend(packed) - last);
                EXPECT_LE(written, pixels * row.packBits / 8) << row.cliName << " unit row " << y;
            }
        }
    }
}

}  // namespace

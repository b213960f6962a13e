// Pictures put into each machine's format by small encoders written from the formats themselves, then
// drawn back by the sheet renderer: every screen pixel must show its picture pixel's colour.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

#include "tests/graphics/pixel_picture.h"
#include "tests/viewer/engine/format_encoders.h"
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
                 int64_t first, int w, int h, const std::function<int32_t(int, int)>& expected,
                 const AddedModes* added = nullptr) {
    ASSERT_NE(createImage(kSheetImage, kViewWidth, 512), 0);
    const ImageBuffer* image = imageBuffer(kSheetImage);
    for (const int zoom : zooms) {
        std::memset(image->pixels, 0x13, static_cast<size_t>(image->stride) * image->height);
        TestView view = testView(bytes, mode, width, zoom, first);
        view.options.addedModes = added;
        EXPECT_EQ(drawTestView(view), SheetResult::Drawn);
        int count = 0;
        std::string where;
        for (int y = 0; y < h * zoom; ++y)
            for (int x = 0; x < w * zoom; ++x)
                if (pixelColour(kSheetImage, x, y) != expected(x / zoom, y / zoom) && count++ == 0)
                    where = std::to_string(x / zoom) + "," + std::to_string(y / zoom);
        EXPECT_EQ(count, 0) << modeRow(mode, added)->cliName << " zoom " << zoom << ", first at " << where;
    }
    freeImage(-1);
}

// The pictures are drawn once per kernel table.
class ModeFamiliesTest : public KernelTableTest {};

INSTANTIATE_KERNEL_TABLES(ModeFamiliesTest);

// A built-in format's picture: view units per pixel, the width and the zoom it is drawn at.
struct FormatPicture {
    const char* mode;
    int unit, width, zoom;
};

// The picture put into the format by its encoder, every other bit of the bytes random, drawn back at
// `width` and `zoom`, each pixel `unit` view units wide.
void expectPictureDrawsBack(const FormatEncoder& encoder, int unit, int width, int zoom,
                            const AddedModes* added = nullptr) {
    const int mode = modeByCliName(encoder.mode, added);
    ASSERT_GE(mode, 0) << encoder.mode;
    const int w = encoder.across * width, h = 42, bits = encoder.bits;
    std::vector<uint8_t> used;
    std::vector<uint8_t> bytes = packPicture(
        encoder, w, h, [&](int x, int y) { return pictureValue(x, y, bits); }, &used);
    for (size_t n = 0; n < bytes.size(); ++n) bytes[n] |= pictureValue(static_cast<int>(n), -1, 8) & ~used[n];
    expectDrawn(
        bytes, mode, width, {zoom}, 0, w * unit, h,
        [&](int x, int y) { return modePixelColour(mode, pictureValue(x / unit, y, bits), added); }, added);
}

// Every format but the ZX screen, each at a width and zoom of its own.
TEST_P(ModeFamiliesTest, PicturesInEveryFormatDrawBack) {
    const FormatPicture pictures[] = {
        {"binary", 1, 9, 2},   {"atari", 2, 13, 1}, {"bk", 1, 10, 2},    {"sam", 1, 20, 4},
        {"chunky8", 1, 33, 2}, {"cpc0", 2, 11, 2},  {"cpc1", 1, 9, 1},   {"amiga4", 1, 7, 2},
        {"amiga5", 1, 4, 8},   {"st4", 1, 24, 1},   {"cells1", 1, 5, 2}, {"cells2w", 2, 6, 2},
        {"nes", 1, 9, 1},      {"gb", 1, 6, 2},     {"snes4", 1, 12, 1}, {"sms", 1, 7, 2},
        {"genesis", 1, 5, 1},  {"gba4", 1, 10, 2},
    };
    for (const FormatPicture& p : pictures) {
        const FormatEncoder* encoder = formatEncoder(p.mode);
        ASSERT_NE(encoder, nullptr) << p.mode;
        expectPictureDrawsBack(*encoder, p.unit, p.width, p.zoom);
    }
}

// The tile of pixel (x, y) of a picture w pixels wide, of tiles tw x th pixels and `bytes` bytes.
int tileOf(int x, int y, int w, int tw, int th, int bytes) {
    return (y / th * (w / tw) + x / tw) * bytes;
}

// The shipped format files, loaded and none refused.
void loadShippedFormats(FormatFiles& shipped) {
    const std::vector<std::string> refused = loadFormatFolder(shipped, PL_FORMATS_PATH);
    EXPECT_TRUE(refused.empty()) << refused.front();
}

// The shipped format files, each checked by an encoder written from the machine's own description.
TEST_P(ModeFamiliesTest, ShippedFormatFilesDrawBack) {
    FormatFiles shipped;
    loadShippedFormats(shipped);
    // clang-format off
    struct ShippedPicture {
        FormatEncoder encoder;
        int unit, width, zoom;
    };
    const ShippedPicture rows[] = {
        {{"c64-sprite", 1, 24, [](int x, int y, int, int w) { return 8 * (tileOf(x, y, w, 24, 21, 64) + 3 * (y % 21) + x % 24 / 8) + x % 8; }}, 1, 3, 1},
        {{"c64-sprite-mc", 2, 12, [](int x, int y, int b, int w) { return 8 * (tileOf(x, y, w, 12, 21, 64) + 3 * (y % 21) + x % 12 / 4) + top(6 - 2 * (x % 4) + b); }}, 2, 4, 2},
        {{"snes2", 2, 8, [](int x, int y, int b, int w) { return 8 * (tileOf(x, y, w, 8, 8, 16) + 2 * (y % 8) + b) + x % 8; }}, 1, 5, 1},
        {{"snes8", 8, 8, [](int x, int y, int b, int w) { return 8 * (tileOf(x, y, w, 8, 8, 64) + 16 * (b / 2) + 2 * (y % 8) + b % 2) + x % 8; }}, 1, 6, 2},
        {{"gba8", 8, 8, [](int x, int y, int b, int w) { return 8 * (tileOf(x, y, w, 8, 8, 64) + 8 * (y % 8) + x % 8) + top(b); }}, 1, 7, 1},
        {{"snes-mode7", 8, 8, [](int x, int y, int b, int w) { return 8 * (tileOf(x, y, w, 8, 8, 128) + 2 * (8 * (y % 8) + x % 8) + 1) + top(b); }}, 1, 3, 2},
        {{"amiga-sprite", 2, 16, [](int x, int y, int b, int w) { return 8 * (4 * (y * w / 16 + x / 16) + 2 * b) + x % 16; }}, 1, 1, 4},
    };
    // clang-format on
    for (const ShippedPicture& row : rows)
        expectPictureDrawsBack(row.encoder, row.unit, row.width, row.zoom, &shipped.modes);
}

// The shipped direct-colour files, each checked by an encoder of its machines' pixel words: a
// picture of channel levels put into words of the word's width and byte order, red, green, blue
// and alpha (or an unused bit, never drawn) at their shifts; drawn back as each level c of n bits
// scaled to 255 c / (2^n - 1). Narrow and wide rows (the vector kernels' rounds and their last
// pixels), the bytes given transformed (inverse, reversed and nibbles swapped: drawn back the same),
// and the data ending inside a word of the last row, whose missing bytes read as 0.
TEST_P(ModeFamiliesTest, ShippedDirectColourFilesDrawBack) {
    FormatFiles shipped;
    loadShippedFormats(shipped);
    const struct {
        const char* mode;
        int bytes;
        bool bigEndian;
        int shift[4], bits[4];  // red, green, blue, alpha
    } rows[] = {
        {"rgb565-le", 2, false, {11, 5, 0, 0}, {5, 6, 5, 0}},
        {"rgb565-be", 2, true, {11, 5, 0, 0}, {5, 6, 5, 0}},
        {"bgr555-le", 2, false, {0, 5, 10, 15}, {5, 5, 5, 1}},
        {"bgr555-be", 2, true, {0, 5, 10, 15}, {5, 5, 5, 1}},
        {"rgb888", 3, true, {16, 8, 0, 0}, {8, 8, 8, 0}},
        {"bgr888", 3, true, {0, 8, 16, 0}, {8, 8, 8, 0}},
        {"rgba8888", 4, true, {24, 16, 8, 0}, {8, 8, 8, 8}},
        {"bgra8888", 4, true, {8, 16, 24, 0}, {8, 8, 8, 8}},
        {"argb8888", 4, true, {16, 8, 0, 24}, {8, 8, 8, 8}},
    };
    const struct {
        int width;
        std::vector<int> zooms;
        int options;     // 1 inverse, 2 reverse, 4 nibble swap, 8 multi columns
        int lastPixels;  // the last row's whole words in the data, and one byte of the next; 0: all
    } views[] = {{37, {1, 4}, 0, 0},
                 {203, {1, 2}, 7, 0},
                 {203, {1, 2}, 0, 52},
                 {179, {1}, 8, 0},
                 // Rows of 2 to 3 pixels more than a vector kernel's steps, and narrower than a step.
                 {50, {1}, 0, 0},
                 {5, {1, 2}, 8, 0}};
    const auto transformed = [](uint8_t byte, int options) {
        if (options & 1) byte = static_cast<uint8_t>(~byte);
        if (options & 2) {
            uint8_t reversed = 0;
            for (int b = 0; b < 8; ++b) reversed |= ((byte >> b) & 1) << (7 - b);
            byte = reversed;
        }
        return options & 4 ? static_cast<uint8_t>(byte << 4 | byte >> 4) : byte;
    };
    const int h = 21;
    for (const auto& row : rows) {
        const int mode = modeByCliName(row.mode, &shipped.modes);
        ASSERT_GE(mode, 0) << row.mode;
        for (const auto& view : views) {
            const int w = view.width;
            const auto level = [&](int x, int y, int c) { return pictureValue(4 * x + c, y, row.bits[c]); };
            // In columns, the fourth ends at the view's right edge, 63 pixels wide: a pixel written past
            // a row's end would land on the first of the row above, drawn before it.
            const int dataRows = view.options & 8 ? 3 * 512 + h : h;
            std::vector<uint8_t> bytes;
            for (int y = 0; y < dataRows; ++y)
                for (int x = 0; x < w; ++x) {
                    uint32_t word = 0;
                    for (int c = 0; c < 4; ++c) word |= static_cast<uint32_t>(level(x, y, c)) << row.shift[c];
                    for (int i = 0; i < row.bytes; ++i)
                        bytes.push_back(
                            static_cast<uint8_t>(word >> 8 * (row.bigEndian ? row.bytes - 1 - i : i)));
                }
            const size_t kept =
                view.lastPixels == 0
                    ? bytes.size()
                    : static_cast<size_t>(((dataRows - 1) * w + view.lastPixels) * row.bytes + 1);
            // A word cut by the data's end: its bytes past the end read as 0.
            const auto cutLevel = [&](int x, int y, int c) {
                const size_t at = static_cast<size_t>((y * w + x) * row.bytes);
                uint32_t word = 0;
                for (int i = 0; i < row.bytes; ++i)
                    word |= uint32_t{at + i < kept ? bytes[at + i] : uint8_t{0}}
                            << 8 * (row.bigEndian ? row.bytes - 1 - i : i);
                return static_cast<int>(word >> row.shift[c] & ((1u << row.bits[c]) - 1));
            };
            bytes.resize(kept);
            for (uint8_t& byte : bytes) byte = transformed(byte, view.options);
            for (const int zoom : view.zooms) {
                ASSERT_NE(createImage(kSheetImage, kViewWidth, 512), 0);
                TestView drawn = testView(bytes, mode, w, zoom, 0, view.options);
                drawn.options.addedModes = &shipped.modes;
                EXPECT_EQ(drawTestView(drawn), SheetResult::Drawn);
                int count = 0;
                std::string where;
                for (int y = 0; y < h * zoom; ++y)
                    for (int x = 0; x < w * zoom; ++x) {
                        const int px = x / zoom, py = y / zoom;
                        const bool whole = static_cast<size_t>((py * w + px + 1) * row.bytes) <= kept;
                        const auto scaled = [&](int c) {
                            return (whole ? level(px, py, c) : cutLevel(px, py, c)) * 255 /
                                   ((1 << row.bits[c]) - 1);
                        };
                        if (pixelColour(kSheetImage, x, y) != rgb(scaled(0), scaled(1), scaled(2)) &&
                            count++ == 0)
                            where = std::to_string(px) + "," + std::to_string(py);
                    }
                EXPECT_EQ(count, 0) << row.mode << " width " << w << " zoom " << zoom << " options "
                                    << view.options << " cut " << view.lastPixels << ", first at " << where;
                freeImage(-1);
            }
        }
    }
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
    expectDrawn(rom, modeByCliName("cells1", nullptr), 16, {1, 4}, set, 128, 48, [&](int x, int y) {
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
        const ModeRow& row = *modeRow(mode, nullptr);
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

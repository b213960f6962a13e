// The width guess and the graphics scan on the sample file's known pictures and on data without any.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/viewer/engine/format_encoders.h"
#include "viewer/engine/format_identify.h"
#include "viewer/engine/graphics_finder.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/program_headers.h"

namespace {

std::vector<uint8_t> sampleFile() {
    std::ifstream file(PL_SAMPLE_PATH, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The pictures data/make_sample.cpp plants in the sample file, each in the mode it is packed in.
// A known miss says why the finder gets it wrong; its checks are counted as skipped until mended.
struct PlantedPicture {
    int64_t first, length;
    int mode, width;
    const char* knownMiss = nullptr;
};

const PlantedPicture kPlanted[] = {
    {0x0000, 4096, 0, 1},  // text in an 8 x 8 font
    {0x1000, 256, 0, 2},   // eight 16 x 16 sprites
    {0x1400, 512, 0, 4,
     "half its rows are a brick and a checker tile, which repeat every 2 bytes along a row"},
    {0x2000, 2560, 0, 40},  // banner
    {0x3000, 256, 1, 4},    // four-colour sprites
    {0x3400, 3840, 1, 40},  // landscape
    {0x4400, 256, 2, 4},    // the same sprites in BK-0010 bit order
    {0x4800, 4096, 2, 64,
     "the rings' four colours, 6 pixels each, repeat every 6 bytes along a row, while each row is "
     "shifted half a byte from the one above"},
    {0x5800, 512, 3, 8},    // sixteen-colour sprites
    {0x6000, 8192, 3, 64},  // rainbow rings
};

bool guessedRight(const std::vector<uint8_t>& data, const PlantedPicture& p) {
    const WidthGuess guess = guessWidth(data.data(), 32768, p.first, p.mode, 256);
    return guess.count > 0 && guess.candidates[0].width == p.width;
}

// A region of the picture's width that starts on one of its rows; a picture smaller than a region
// is not looked for.
bool foundByScan(const std::vector<GraphicsRegion>& regions, const PlantedPicture& p) {
    if (p.length < 1024) return true;
    for (const GraphicsRegion& r : regions)
        if (r.width == p.width && r.first >= p.first && r.first < p.first + p.length &&
            (r.first - p.first) % p.width == 0)
            return true;
    return false;
}

TEST(GraphicsFinderTest, FindsTheSamplePicturesAtTheirWidths) {
    const std::vector<uint8_t> data = sampleFile();
    ASSERT_EQ(data.size(), 32768u);
    for (const PlantedPicture& p : kPlanted) {
        if (p.knownMiss != nullptr) continue;
        EXPECT_TRUE(guessedRight(data, p)) << "guess at " << p.first;
        EXPECT_TRUE(foundByScan(scanGraphics(data.data(), 32768, p.mode, 0, 32768, 256), p)) << p.first;
    }
    // A smaller largest width bounds the answer.
    const WidthGuess narrow = guessWidth(data.data(), 32768, 0x6000, 3, 32);
    for (int i = 0; i < narrow.count; ++i) EXPECT_LE(narrow.candidates[i].width, 32);
}

TEST(GraphicsFinderTest, FindsTheSamplePicturesItKnowsItMisses) {
    const std::vector<uint8_t> data = sampleFile();
    std::string misses;
    for (const PlantedPicture& p : kPlanted) {
        if (p.knownMiss == nullptr) continue;
        const bool guessed = guessedRight(data, p);
        const bool found = foundByScan(scanGraphics(data.data(), 32768, p.mode, 0, 32768, 256), p);
        if (!guessed || !found)
            misses += "byte " + std::to_string(p.first) + (guessed ? "" : " guess") + (found ? "" : " scan") +
                      " (" + p.knownMiss + "); ";
    }
    if (!misses.empty()) GTEST_SKIP() << "known misses: " << misses;
}

TEST(GraphicsFinderTest, ScanListsOnlyThePlantedPicturesAndAStretchAsAWholeScan) {
    const std::vector<uint8_t> data = sampleFile();
    for (int mode = 0; mode < 4; ++mode) {
        const std::vector<GraphicsRegion> whole = scanGraphics(data.data(), 32768, mode, 0, 32768, 256);
        for (size_t r = 0; r < whole.size(); ++r) {
            bool overPicture = false;
            for (const PlantedPicture& p : kPlanted)
                overPicture = overPicture || (whole[r].first < p.first + p.length &&
                                              whole[r].first + whole[r].length > p.first);
            EXPECT_TRUE(overPicture) << "mode " << mode << " region at " << whole[r].first;
            // A scan over [its first byte, one byte on) lists a region not cut short by the one before.
            if (r > 0 && whole[r].first < whole[r - 1].first + whole[r - 1].length + whole[r].width) continue;
            const std::vector<GraphicsRegion> part =
                scanGraphics(data.data(), 32768, mode, whole[r].first, whole[r].first + 1, 256);
            ASSERT_FALSE(part.empty()) << "mode " << mode << " region at " << whole[r].first;
            EXPECT_EQ(part[0].first, whole[r].first);
            EXPECT_EQ(part[0].width, whole[r].width);
        }
    }
}

// A 1-bit picture, dark left of a wavy edge and light right of it, between bytes that are mostly
// 0x00 and 0xFF; right before it lie the last bytes of its first row and right after it the first
// bytes of its last row, so that by its edges alone it could as well begin a few bytes either way.
struct PlacedPicture {
    std::vector<uint8_t> data;
    int64_t first = 0;
    int width = 0;
};

// Rows of a 1-bit picture dark left of a wavy edge.
std::vector<uint8_t> wavyPicture(int width, int rows, double wave) {
    std::vector<uint8_t> picture;
    for (int y = 0; y < rows; ++y) {
        const double edge = width * (4 + 2.5 * std::sin(y / 9.0 + wave));  // in pixels
        for (int b = 0; b < width; ++b) {
            uint8_t byte = 0;
            for (int k = 0; k < 8; ++k) byte |= static_cast<uint8_t>((b * 8 + k < edge) << (7 - k));
            picture.push_back(byte);
        }
    }
    return picture;
}

PlacedPicture pictureBesideItsOwnRows(unsigned seed) {
    std::mt19937 random(seed);
    PlacedPicture placed;
    placed.width = 24 + static_cast<int>(seed % 40);
    auto noise = [&](int count) {
        for (int i = 0; i < count; ++i)
            placed.data.push_back(random() % 2 ? 0xFF : random() % 3 ? 0x00 : static_cast<uint8_t>(random()));
    };
    noise(3000 + static_cast<int>(random() % 500));
    const int copied = 1 + static_cast<int>(random() % 3);
    const double wave = static_cast<double>(random() % 100) / 10;
    const std::vector<uint8_t> picture = wavyPicture(placed.width, 80, wave);
    const auto rowEnd = picture.begin() + placed.width, lastRow = picture.end() - placed.width;
    placed.data.insert(placed.data.end(), rowEnd - copied, rowEnd);
    placed.first = static_cast<int64_t>(placed.data.size());
    placed.data.insert(placed.data.end(), picture.begin(), picture.end());
    placed.data.insert(placed.data.end(), lastRow, lastRow + copied);
    noise(3000);
    return placed;
}

// Where its rows wrap tells the picture's first byte: its edges alone put it a few bytes off in
// about one case in twenty.
TEST(GraphicsFinderTest, ScanStartsAPictureOnItsRowsWhereItsEdgesAreInDoubt) {
    int found = 0;
    for (unsigned seed = 1; seed <= 200; ++seed) {
        const PlacedPicture placed = pictureBesideItsOwnRows(seed);
        const auto size = static_cast<int64_t>(placed.data.size());
        for (const GraphicsRegion& r : scanGraphics(placed.data.data(), size, 0, 0, size, 256))
            if (r.width == placed.width && r.first == placed.first) {
                ++found;
                break;
            }
    }
    EXPECT_GE(found, 195);
}

// The ZX ROM's character set, 96 glyphs of 8 one-byte rows at $3D00 to the ROM's end: a font is
// guessed one byte wide from its first byte, from inside it and from a few bytes before it.
TEST(GraphicsFinderTest, GuessesTheZxRomCharacterSetOneByteWide) {
    std::ifstream file("/usr/share/spectrum-roms/opense.rom", std::ios::binary);
    const std::vector<uint8_t> rom{std::istreambuf_iterator<char>(file), {}};
    if (rom.size() != 16384u)
        GTEST_SKIP() << "no ZX ROM at /usr/share/spectrum-roms/opense.rom: install opense-basic";
    for (const int64_t first : {0x3D00, 0x3D00 + 8 * 20 + 3, 0x3D00 - 16, 0x3D00 - 5}) {
        const WidthGuess guess = guessWidth(rom.data(), 16384, first, 0, 256);
        ASSERT_GT(guess.count, 0) << first;
        EXPECT_EQ(guess.candidates[0].width, 1) << first;
    }
}

// A sheet of 8 x 8 sprites, 16 a row, in one-bit pixels: 16 bytes per row. Each sprite is a disc, a
// ring or a diamond of its own size and place.
std::vector<uint8_t> spriteSheet(int spriteRows, std::mt19937& random) {
    std::uniform_real_distribution<double> centre(2.5, 4.5), radius(1.5, 3.5);
    std::vector<uint8_t> sheet(static_cast<size_t>(spriteRows) * 8 * 16);
    for (int sprite = 0; sprite < spriteRows * 16; ++sprite) {
        const double cx = centre(random), cy = centre(random), r = radius(random);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const double d = sprite % 3 == 2 ? std::abs(x + 0.5 - cx) + std::abs(y + 0.5 - cy)
                                                 : std::hypot(x + 0.5 - cx, y + 0.5 - cy);
                if (d <= r && (sprite % 3 != 1 || d >= r - 1.2))
                    sheet[static_cast<size_t>((sprite / 16 * 8 + y) * 16 + sprite % 16)] |=
                        static_cast<uint8_t>(0x80 >> x);
            }
    }
    return sheet;
}

// A shaded picture (soft discs on a slope) of `width` bytes per row in one or two bits per pixel
// (leftmost pixel in the high bits), dithered by error diffusion, by a Bayer pattern of `order` or
// by a checkerboard.
enum class Dither { floydSteinberg, bayer, checkerboard };

std::vector<uint8_t> ditheredPicture(int width, int rows, int bits, Dither dither, int order) {
    const int perByte = 8 / bits, columns = width * perByte, top = (1 << bits) - 1;
    std::vector<double> grey(static_cast<size_t>(columns) * rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x)
            grey[static_cast<size_t>(y * columns + x)] =
                0.15 + 0.5 * x / columns + 0.35 * std::sin(x / 11.0) * std::cos(y / 7.0);
    // Bayer's threshold of order 2n: 4 times that of order n, plus 0 2 / 3 1 by the 2 x 2 cell,
    // so that the 2 x 2 pattern decides the highest digit.
    auto threshold = [&](int x, int y) {
        if (dither == Dither::checkerboard) return ((x + y) % 2 + 0.5) / 2;
        int value = 0;
        for (int bit = 1; bit < order; bit *= 2)
            value = value * 4 + ((x & bit) ? ((y & bit) ? 1 : 2) : ((y & bit) ? 3 : 0));
        return (value + 0.5) / (order * order);
    };
    std::vector<uint8_t> bytes(static_cast<size_t>(width) * rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) {
            double& g = grey[static_cast<size_t>(y * columns + x)];
            const int level = dither != Dither::floydSteinberg
                                  ? std::min(top, static_cast<int>(g * top + threshold(x, y)))
                                  : std::clamp(static_cast<int>(std::lround(g * top)), 0, top);
            if (dither == Dither::floydSteinberg) {
                const double error = g - static_cast<double>(level) / top;
                auto spread = [&](int dx, int dy, double share) {
                    if (x + dx >= 0 && x + dx < columns && y + dy < rows)
                        grey[static_cast<size_t>((y + dy) * columns + x + dx)] += error * share;
                };
                spread(1, 0, 7 / 16.0), spread(-1, 1, 3 / 16.0), spread(0, 1, 5 / 16.0),
                    spread(1, 1, 1 / 16.0);
            }
            bytes[static_cast<size_t>(y * width + x / perByte)] |=
                static_cast<uint8_t>(level << (8 - bits * (x % perByte + 1)));
        }
    return bytes;
}

// A sprite sheet is guessed at its width, not at 1 as a font; a dithered picture at its own width,
// neither at twice it (an ordered pattern repeats every second row) nor at the pattern's period.
TEST(GraphicsFinderTest, GuessesSpriteSheetsAndDitheredPicturesAtTheirWidths) {
    struct GuessCase {
        const char* picture;
        int mode, width, bits;
        Dither dither;
        int order;
    };
    const GuessCase cases[] = {
        {"sprite sheet", 0, 16, 1, Dither::bayer, 0},
        {"error diffusion", 0, 40, 1, Dither::floydSteinberg, 0},
        {"error diffusion", 1, 57, 2, Dither::floydSteinberg, 0},
        {"Bayer 2x2", 1, 33, 2, Dither::bayer, 2},
        {"Bayer 4x4", 1, 44, 2, Dither::bayer, 4},
        {"Bayer 8x8", 0, 37, 1, Dither::bayer, 8},
        {"Bayer 8x8", 1, 61, 2, Dither::bayer, 8},
        {"Bayer 2x2", 0, 29, 1, Dither::bayer, 2},
        {"Bayer 4x4", 0, 46, 1, Dither::bayer, 4},
        {"Bayer 4x4", 2, 35, 2, Dither::bayer, 4},
        {"checkerboard", 0, 50, 1, Dither::checkerboard, 2},
        {"checkerboard", 1, 23, 2, Dither::checkerboard, 2},
    };
    for (const GuessCase& c : cases) {
        std::mt19937 random(static_cast<unsigned>(c.width));
        std::vector<uint8_t> data(3000);
        for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
        const auto first = static_cast<int64_t>(data.size());
        const std::vector<uint8_t> picture =
            c.order == 0 && c.dither == Dither::bayer
                ? spriteSheet(8, random)
                : ditheredPicture(c.width, 4096 / c.width + 8, c.bits, c.dither, c.order);
        data.insert(data.end(), picture.begin(), picture.end());
        for (int i = 0; i < 3000; ++i) data.push_back(static_cast<uint8_t>(random()));
        const WidthGuess guess =
            guessWidth(data.data(), static_cast<int64_t>(data.size()), first, c.mode, 256);
        ASSERT_GT(guess.count, 0) << c.picture << " width " << c.width;
        EXPECT_EQ(guess.candidates[0].width, c.width) << c.picture << " mode " << c.mode;
    }
}

// Pixel (x, y) of a shaded picture in levels 0..top: soft rings on a slope.
int shadedLevel(int x, int y, int top) {
    const double grey = 0.5 + 0.3 * std::sin(x / 9.0) * std::cos(y / 13.0) + 0.2 * std::sin((x + y) / 23.0);
    return std::clamp(static_cast<int>(grey * (top + 1)), 0, top);
}

// The shaded picture, w x h pixels, packed in a format by its encoder.
std::vector<uint8_t> shadedPicture(const char* mode, int w, int h) {
    const FormatEncoder& encoder = *formatEncoder(mode);
    return packPicture(encoder, w, h,
                       [&](int x, int y) { return shadedLevel(x, y, (1 << encoder.bits) - 1); });
}

// A picture packed in a format (its CLI name), and its width in the format's units.
struct PackedPicture {
    const char* mode;
    int width;
    std::vector<uint8_t> picture;
};

// In every format the width is guessed and the picture found: in a tiled format in tiles per row,
// in a linear one in its width units (bytes per plane row of the Amiga's).
TEST(GraphicsFinderTest, FindsPicturesInMachineFormats) {
    std::vector<uint8_t> chunky(100 * 80);
    for (size_t i = 0; i < chunky.size(); ++i)
        chunky[i] =
            static_cast<uint8_t>(shadedLevel(static_cast<int>(i % 100), static_cast<int>(i / 100), 255));
    const PackedPicture cases[] = {
        {"nes", 16, shadedPicture("nes", 128, 128)},
        {"nes", 32, shadedPicture("nes", 256, 96)},
        {"amiga4", 20, shadedPicture("amiga4", 160, 80)},
        {"chunky8", 100, chunky},
    };
    for (const PackedPicture& c : cases) {
        const int mode = modeByCliName(c.mode, nullptr);
        std::mt19937 random(static_cast<unsigned>(c.width));
        std::vector<uint8_t> data(8192);
        for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
        const auto first = static_cast<int64_t>(data.size());
        data.insert(data.end(), c.picture.begin(), c.picture.end());
        for (int i = 0; i < 8192; ++i) data.push_back(static_cast<uint8_t>(random()));
        const auto size = static_cast<int64_t>(data.size());
        const WidthGuess guess = guessWidth(data.data(), size, first, mode, 256);
        ASSERT_GT(guess.count, 0) << c.mode << " width " << c.width;
        EXPECT_EQ(guess.candidates[0].width, c.width) << c.mode;
        GraphicsRegion next{};
        ASSERT_TRUE(findNextGraphics(data.data(), size, mode, 0, 256, next)) << c.mode;
        EXPECT_EQ(next.width, c.width) << c.mode;
        EXPECT_LT(std::abs(next.first - first), 2048) << c.mode;
    }
}

// A sprite sheet of fewer tiles than the scan judges at once, between random bytes, is found whole:
// one region from its first row of tiles to its last, at its tiles per row; also when its sprites
// below a seam (rows of tiles that do not continue the rows above: here the same shading in negative)
// leave only two rows of tiles on one side of it; a sheet of 768 bytes too; and when the random tile
// before it ends in the pixel row that its first row of tiles ends with, while its last tile is drawn
// in negative (so that the steps between rows alone would place the sheet a tile early).
TEST(GraphicsFinderTest, FindsASmallSheetOfTilesWhole) {
    struct SmallSheet {
        const char* mode;
        int tilesPerRow, tileRows;
        int64_t tilesBefore;  // random tiles before it
        int seamRow;          // the first row of tiles drawn in negative; 0 for none
        bool decoy;           // the tile before it steps into its first row, its last tile in negative
    };
    const SmallSheet cases[] = {
        {"cells1", 16, 9, 301, 0, false}, {"nes", 20, 5, 77, 0, false},     {"gb", 9, 8, 150, 0, false},
        {"snes4", 16, 4, 33, 0, false},   {"genesis", 7, 10, 64, 0, false}, {"gba4", 30, 4, 200, 0, false},
        {"cells1", 30, 5, 64, 3, false},  {"nes", 16, 6, 77, 2, false},     {"gb", 24, 5, 33, 2, false},
        {"snes4", 16, 6, 77, 4, false},   {"nes", 18, 12, 90, 0, true},     {"gba4", 18, 12, 90, 0, true},
        {"cells1", 24, 4, 120, 0, false},
    };
    for (const SmallSheet& c : cases) {
        const int mode = modeByCliName(c.mode, nullptr);
        const int64_t tileBytes = modeRow(mode, nullptr)->unitBytes;
        std::mt19937 random(static_cast<unsigned>(c.tilesBefore));
        std::vector<uint8_t> data(static_cast<size_t>(c.tilesBefore * tileBytes));
        for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
        const auto first = static_cast<int64_t>(data.size());
        const FormatEncoder& encoder = *formatEncoder(c.mode);
        const int top = (1 << encoder.bits) - 1;
        const int w = 8 * c.tilesPerRow, h = 8 * c.tileRows;
        const auto level = [&](int x, int y) {
            const int shade = shadedLevel(x, y, top);
            const bool negative =
                (c.seamRow > 0 && y >= 8 * c.seamRow) || (c.decoy && x >= w - 8 && y >= h - 8);
            return negative ? top - shade : shade;
        };
        if (c.decoy) {
            const std::vector<uint8_t> tile = packPicture(encoder, 8, 8, [&](int x, int y) {
                return y == 7 ? level(w - 8 + x, 0) : static_cast<int>(random() % (top + 1u));
            });
            std::copy(tile.begin(), tile.end(), data.end() - tileBytes);
        }
        const std::vector<uint8_t> sheet = packPicture(encoder, w, h, level);
        data.insert(data.end(), sheet.begin(), sheet.end());
        for (int i = 0; i < 6000; ++i) data.push_back(static_cast<uint8_t>(random()));
        const std::vector<GraphicsRegion> regions = scanGraphics(
            data.data(), static_cast<int64_t>(data.size()), mode, 0, static_cast<int64_t>(data.size()), 256);
        ASSERT_EQ(regions.size(), 1u) << c.mode << " seam " << c.seamRow;
        EXPECT_EQ(regions[0].width, c.tilesPerRow) << c.mode << " seam " << c.seamRow;
        EXPECT_EQ(regions[0].first, first) << c.mode << " seam " << c.seamRow;
        EXPECT_EQ(regions[0].length, static_cast<int64_t>(sheet.size())) << c.mode << " seam " << c.seamRow;
    }
}

// Identify names the format a picture was packed in: NES tiles for NES data, Amiga 4 bitplanes for
// Amiga data, and so on, with their widths; and nothing for random bytes.
TEST(GraphicsFinderTest, IdentifiesTheFormatOfAPicture) {
    std::vector<uint8_t> sam(64 * 100);
    for (size_t i = 0; i < sam.size(); ++i) {
        const int x = static_cast<int>(i % 64) * 2, y = static_cast<int>(i / 64);
        sam[i] = static_cast<uint8_t>(shadedLevel(x, y, 15) << 4 | shadedLevel(x + 1, y, 15));
    }
    const PackedPicture cases[] = {
        {"nes", 16, shadedPicture("nes", 128, 128)},
        {"amiga4", 20, shadedPicture("amiga4", 160, 80)},
        {"sam", 64, sam},
        {"gb", 16, shadedPicture("gb", 128, 128)},
        {"genesis", 16, shadedPicture("genesis", 128, 128)},
        {"st4", 80, shadedPicture("st4", 160, 80)},
        {"cpc1", 40, shadedPicture("cpc1", 160, 100)},
        // Dithered one-bit pixels, which Atari GR.15's pairs of them draw smoother.
        {"binary", 40, ditheredPicture(40, 160, 1, Dither::floydSteinberg, 0)},
        {"binary", 29, ditheredPicture(29, 200, 1, Dither::floydSteinberg, 0)},
    };
    for (const PackedPicture& c : cases) {
        const auto size = static_cast<int64_t>(c.picture.size());
        const std::vector<FormatAnswer> answers = identifyFormats(c.picture.data(), size, 0, size);
        ASSERT_FALSE(answers.empty()) << c.mode;
        EXPECT_STREQ(modeRow(answers[0].mode, nullptr)->cliName, c.mode);
        EXPECT_EQ(answers[0].width, c.width) << c.mode;
    }
    std::mt19937 random(5);
    std::vector<uint8_t> noise(32768);
    for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
    EXPECT_TRUE(identifyFormats(noise.data(), 32768, 0, 32768).empty());
}

// A band of blank rows inside a picture (between an icon sheet's rows, say) does not part it: the
// scan lists one region from its first row to its last. A longer run parts two pictures.
TEST(GraphicsFinderTest, ABlankBandInsideAPictureLeavesItOneRegion) {
    struct BandCase {
        int width, bandRows;
        uint8_t blank;
        bool onePicture;
    };
    // The last: 8000 bytes of blank, two pictures.
    const BandCase cases[] = {
        {32, 4, 0x00, true},  {64, 24, 0x00, true}, {80, 16, 0x00, true},   {48, 30, 0xFF, true},
        {40, 40, 0x00, true}, {24, 60, 0xFF, true}, {40, 200, 0x00, false},
    };
    for (const BandCase& c : cases) {
        std::mt19937 random(static_cast<unsigned>(c.width));
        std::vector<uint8_t> data(5000);
        for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
        const auto first = static_cast<int64_t>(data.size());
        const std::vector<uint8_t> top = wavyPicture(c.width, 70, 0.0),
                                   bottom = wavyPicture(c.width, 60, 2.0);
        data.insert(data.end(), top.begin(), top.end());
        data.insert(data.end(), static_cast<size_t>(c.bandRows * c.width), c.blank);
        data.insert(data.end(), bottom.begin(), bottom.end());
        const auto end = static_cast<int64_t>(data.size());
        for (int i = 0; i < 5000; ++i) data.push_back(static_cast<uint8_t>(random()));
        const auto size = static_cast<int64_t>(data.size());
        const std::vector<GraphicsRegion> regions = scanGraphics(data.data(), size, 0, 0, size, 256);
        ASSERT_EQ(regions.size(), c.onePicture ? 1u : 2u) << "width " << c.width;
        EXPECT_EQ(regions.front().width, c.width);
        EXPECT_EQ(regions.front().first, first) << "width " << c.width;
        EXPECT_EQ(regions.back().first + regions.back().length, end) << "width " << c.width;
    }
}

// A wide picture of few rows (a banner, the inked rows of a picture on a background) between random
// bytes is one region of its width, once it holds 16 rows and 1 KiB.
TEST(GraphicsFinderTest, FindsWidePicturesOfFewRows) {
    struct FewRowsCase {
        int width, rows;
        bool found;
    };
    const FewRowsCase cases[] = {{150, 12, false}, {120, 16, true}, {200, 20, true}, {80, 20, true}};
    for (const FewRowsCase& c : cases) {
        std::mt19937 random(9);
        std::vector<uint8_t> data(5000);
        for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
        // Discs of 4 to 15 pixels' radius set at random, one per 400 pixels.
        std::vector<std::array<int, 3>> discs(static_cast<size_t>(c.width * c.rows / 50));
        for (auto& [x, y, r] : discs) {
            x = static_cast<int>(random() % static_cast<unsigned>(c.width * 8));
            y = static_cast<int>(random() % static_cast<unsigned>(c.rows));
            r = 4 + static_cast<int>(random() % 12);
        }
        for (int y = 0; y < c.rows; ++y)
            for (int b = 0; b < c.width; ++b) {
                uint8_t byte = 0;
                for (int k = 0; k < 8; ++k)
                    for (const auto& [dx, dy, r] : discs)
                        if ((b * 8 + k - dx) * (b * 8 + k - dx) + (y - dy) * (y - dy) <= r * r)
                            byte |= static_cast<uint8_t>(0x80 >> k);
                data.push_back(byte);
            }
        for (int i = 0; i < 5000; ++i) data.push_back(static_cast<uint8_t>(random()));
        const auto size = static_cast<int64_t>(data.size());
        const std::vector<GraphicsRegion> regions = scanGraphics(data.data(), size, 0, 0, size, 256);
        ASSERT_EQ(regions.size(), c.found ? 1u : 0u) << c.width << " x " << c.rows;
        if (!c.found) continue;
        EXPECT_EQ(regions[0].width, c.width);
        EXPECT_GE(regions[0].first, 5000 - c.width);
        EXPECT_GE(regions[0].length, int64_t{c.width} * c.rows * 4 / 5) << c.width << " x " << c.rows;
    }
}

TEST(GraphicsFinderTest, DataWithoutPicturesGivesNothing) {
    std::mt19937 random(7);
    std::string noise(200000, '\0'), text;
    for (char& byte : noise) byte = static_cast<char>(random());
    const char* const words[] = {"the",       "data",  "of",      "old",  "home",
                                 "computers", "holds", "sprites", "fonts"};
    while (text.size() < 200000) text += std::string(words[random() % 9]) + (random() % 9 == 0 ? ".\n" : " ");
    for (const std::string& data : {std::string(100000, '\0'), std::string(100000, '\xFF'), noise, text}) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
        const auto size = static_cast<int64_t>(data.size());
        for (int32_t mode = 0; mode < 4; ++mode) {
            EXPECT_EQ(guessWidth(bytes, size, 0, mode, 256).count, 0) << size << " mode " << mode;
            EXPECT_TRUE(scanGraphics(bytes, size, mode, 0, size, 256).empty()) << size << " mode " << mode;
        }
    }
}

// Records of one length that differ only in a field of random bytes (generated functions alike
// but for a call's offset, a table's keys) line up at their length as a picture's rows do, and
// their rows are even more alike; but where they differ, they differ as much as random bytes: no
// region, in any mode.
TEST(GraphicsFinderTest, RecordsThatDifferOnlyAtRandomGiveNoRegion) {
    std::mt19937 random(5);
    std::vector<uint8_t> fixed(28, 0xCC);  // padding between functions
    for (int i = 0; i < 16; ++i) fixed[static_cast<size_t>(i)] = static_cast<uint8_t>(random());
    std::vector<uint8_t> table;
    for (int record = 0; record < 1024; ++record) {
        table.insert(table.end(), fixed.begin(), fixed.end());
        for (int i = 0; i < 4; ++i) table.push_back(static_cast<uint8_t>(random()));
    }
    const auto size = static_cast<int64_t>(table.size());
    for (int32_t mode = 0; mode < 4; ++mode)
        EXPECT_TRUE(scanGraphics(table.data(), size, mode, 0, size, 256).empty()) << "mode " << mode;
}

}  // namespace

namespace {

// A program's headers never hold a picture: a picture whose first bytes are an ELF file's header,
// with tables of program and section headers inside it, is listed by no region that takes them in;
// without the header it is found from its first byte. Fields hand-placed: 64-bit little-endian and
// 32-bit big-endian, a table past the end of the data.
TEST(GraphicsFinderTest, NoRegionTakesInAProgramsHeaders) {
    struct HeaderCase {
        const char* header;
        bool elf;
        std::vector<std::pair<int, uint8_t>> fields;  // byte offset, value
        int64_t headersEnd;                           // the last header's end in the picture
    };
    const HeaderCase cases[] = {
        {"none", false, {}, 0},
        // 64 bits: program headers at 64 (4 of 56 bytes), section headers at 0x1000 (5 of 64 bytes).
        {"ELF64 LE",
         true,
         {{4, 2}, {5, 1}, {32, 64}, {54, 56}, {56, 4}, {41, 0x10}, {58, 64}, {60, 5}},
         0x1140},
        // 32 bits, big-endian: program headers at 0x0800 (2 of 32 bytes), section headers far past the end.
        {"ELF32 BE",
         true,
         {{4, 1}, {5, 2}, {30, 0x08}, {43, 32}, {45, 2}, {32, 0x7F}, {47, 40}, {49, 9}},
         0x0840},
    };
    for (const HeaderCase& c : cases) {
        std::vector<uint8_t> data = wavyPicture(32, 256, 0.0);
        std::mt19937 random(3);
        for (int i = 0; i < 4096; ++i) data.push_back(static_cast<uint8_t>(random()));
        if (c.elf) {
            const uint8_t magic[] = {0x7F, 'E', 'L', 'F'};
            std::fill_n(data.begin(), 64, 0);
            std::copy_n(magic, 4, data.begin());
        }
        for (const auto& [at, value] : c.fields) data[static_cast<size_t>(at)] = value;
        const auto size = static_cast<int64_t>(data.size());
        const std::vector<GraphicsRegion> regions = scanGraphics(data.data(), size, 0, 0, size, 256);
        if (!c.elf) {
            ASSERT_EQ(regions.size(), 1u);
            EXPECT_EQ(regions[0].first, 0);
        }
        for (const GraphicsRegion& r : regions) EXPECT_GE(r.first, c.headersEnd) << c.header;
    }
    // The test program itself: its own header and program headers lie in its first page.
    std::ifstream file("/proc/self/exe", std::ios::binary);
    std::vector<uint8_t> program(65536);
    file.read(reinterpret_cast<char*>(program.data()), 65536);
    program.resize(static_cast<size_t>(file.gcount()));
    const auto size = static_cast<int64_t>(program.size());
    for (int32_t mode = 0; mode < kModeTableSize; ++mode) {
        GraphicsRegion next{};
        if (findNextGraphics(program.data(), size, mode, -1, 256, next)) {
            EXPECT_GE(next.first, 64 + 56 * (program[56] | program[57] << 8))
                << modeRow(mode, nullptr)->cliName;
        }
    }
}

// An ELF file's section table names where code and the toolchain's tables lie: a picture there is
// no picture, one in program data is, and one that runs on into a table is cut at it in whole rows.
// The picture lies in the named section from 0x1000, or its first 3 quarters do.
TEST(GraphicsFinderTest, ListsPicturesOnlyInSectionsThatMayHoldThem) {
    struct SectionCase {
        const char* name;
        uint32_t type;
        uint64_t flags;
        bool wholePicture;     // the section holds all of it, or only its first 3 quarters
        int64_t listedLength;  // of the one region listed, 0 for none
    };
    constexpr int64_t kWidth = 32, kRows = 256, kFirst = 0x1000, kPicture = kWidth * kRows;
    const SectionCase cases[] = {
        {".rodata", 1, 2, true, kPicture}, {".text", 1, 6, true, 0},
        {".eh_frame", 1, 2, true, 0},      {".dynsym", 11, 2, true, 0},
        {".bss", 8, 3, true, kPicture},    {".rodata", 1, 2, false, kPicture * 3 / 4},
    };
    for (const SectionCase& c : cases) {
        const std::string names = std::string(1, '\0') + c.name + '\0' + ".eh_frame" + '\0';
        std::vector<uint8_t> data(kFirst);
        const std::vector<uint8_t> picture = wavyPicture(kWidth, kRows, 0.0);
        data.insert(data.end(), picture.begin(), picture.end());
        std::mt19937 random(5);
        for (int i = 0; i < 4096; ++i) data.push_back(static_cast<uint8_t>(random()));
        const auto namesAt = static_cast<int64_t>(data.size());
        data.insert(data.end(), names.begin(), names.end());
        const auto tableAt = static_cast<int64_t>(data.size());
        data.resize(data.size() + 4 * 64);
        const auto put = [&](int64_t at, uint64_t value, int bytes) {
            for (int i = 0; i < bytes; ++i)
                data[static_cast<size_t>(at + i)] = static_cast<uint8_t>(value >> 8 * i);
        };
        const uint8_t magic[] = {0x7F, 'E', 'L', 'F', 2, 1};
        std::copy_n(magic, 6, data.begin());
        put(40, static_cast<uint64_t>(tableAt), 8);
        put(58, 64, 2);
        put(60, 4, 2);
        put(62, 3, 2);
        // Sections 1 and 2: the picture's (or its first 3 quarters) and an .eh_frame after it.
        const int64_t inFirst = c.wholePicture ? kPicture : kPicture * 3 / 4;
        const int64_t sections[3][5] = {{1, c.type, static_cast<int64_t>(c.flags), kFirst, inFirst},
                                        {static_cast<int64_t>(std::strlen(c.name)) + 2, 1, 2,
                                         kFirst + inFirst, c.wholePicture ? 0 : kPicture - inFirst},
                                        {0, 3, 0, namesAt, static_cast<int64_t>(names.size())}};
        for (int i = 0; i < 3; ++i) {
            const int64_t at = tableAt + 64 * (i + 1);
            put(at, static_cast<uint64_t>(sections[i][0]), 4);
            put(at + 4, static_cast<uint64_t>(sections[i][1]), 4);
            put(at + 8, static_cast<uint64_t>(sections[i][2]), 8);
            put(at + 24, static_cast<uint64_t>(sections[i][3]), 8);
            put(at + 32, static_cast<uint64_t>(sections[i][4]), 8);
        }
        const auto size = static_cast<int64_t>(data.size());
        const std::vector<GraphicsRegion> regions = scanGraphics(data.data(), size, 0, 0, size, 256);
        if (c.listedLength == 0) {
            EXPECT_TRUE(regions.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(regions.size(), 1u) << c.name;
        EXPECT_EQ(regions[0].width, kWidth) << c.name;
        EXPECT_GE(regions[0].first, kFirst) << c.name;
        EXPECT_EQ((regions[0].first - kFirst) % kWidth, 0) << c.name;
        EXPECT_LE(regions[0].first + regions[0].length, kFirst + c.listedLength) << c.name;
        EXPECT_GE(regions[0].length, c.listedLength * 4 / 5) << c.name;
    }
}

// The loaded segments are read from the program headers as placed by hand: 64 bits little-endian (a
// loaded segment and a note) and 32 bits big-endian (three loaded segments, one of no bytes in memory).
TEST(GraphicsFinderTest, ProgramLayoutNamesTheLoadedSegments) {
    struct Segment {
        uint64_t type, address, bytes;  // bytes in memory
    };
    struct LayoutCase {
        int pointerBytes;  // 0: no ELF file
        bool bigEndian;
        std::vector<Segment> segments;
        std::vector<std::pair<uint64_t, uint64_t>> loaded;
    };
    const LayoutCase cases[] = {
        {0, false, {{1, 0x400000, 0x100}}, {}},
        {8, false, {{1, 0x400000, 0x12345}, {4, 0x500000, 0x100}}, {{0x400000, 0x412345}}},
        {4,
         true,
         {{1, 0x8048000, 0x2000}, {1, 0x9000000, 0}, {1, 0x9100000, 0x80}},
         {{0x8048000, 0x804A000}, {0x9100000, 0x9100080}}},
    };
    for (const LayoutCase& c : cases) {
        std::vector<uint8_t> data(4096);
        const auto put = [&](int at, uint64_t value, int bytes) {
            for (int i = 0; i < bytes; ++i)
                data[static_cast<size_t>(at + (c.bigEndian ? bytes - 1 - i : i))] =
                    static_cast<uint8_t>(value >> 8 * i);
        };
        const bool wide = c.pointerBytes == 8;
        if (c.pointerBytes != 0)
            std::copy_n(
                "\x7F"
                "ELF",
                4, data.begin());
        data[4] = wide ? 2 : 1;
        data[5] = c.bigEndian ? 2 : 1;
        const int table = wide ? 64 : 52, entryBytes = wide ? 56 : 32;
        put(wide ? 32 : 28, static_cast<uint64_t>(table), wide ? 8 : 4);  // where the program headers lie
        put(wide ? 54 : 42, static_cast<uint64_t>(entryBytes), 2);
        put(wide ? 56 : 44, c.segments.size(), 2);
        for (size_t i = 0; i < c.segments.size(); ++i) {
            const int at = table + static_cast<int>(i) * entryBytes;
            put(at, c.segments[i].type, 4);
            put(at + (wide ? 16 : 8), c.segments[i].address, wide ? 8 : 4);
            put(at + (wide ? 40 : 20), c.segments[i].bytes, wide ? 8 : 4);
        }
        const ProgramLayout layout = programLayout(data.data(), static_cast<int64_t>(data.size()));
        EXPECT_EQ(layout.pointerBytes, c.pointerBytes);
        EXPECT_EQ(layout.bigEndian, c.bigEndian && c.pointerBytes != 0);
        ASSERT_EQ(layout.loaded.size(), c.loaded.size()) << c.pointerBytes;
        for (size_t i = 0; i < c.loaded.size(); ++i)
            EXPECT_TRUE(layout.loaded[i].first == c.loaded[i].first &&
                        layout.loaded[i].end == c.loaded[i].second)
                << c.pointerBytes << " segment " << i;
    }
}

// A program's own tables are told from pictures: records holding pointers into its loaded segments,
// and runs of small 32-bit numbers in its byte order; not pointers elsewhere, nor a font two bytes
// wide whose right half is blank, nor the sample file's pictures, nor anything in data that is no program.
TEST(GraphicsFinderTest, ProgramTablesAreToldFromPictures) {
    std::mt19937 random(11);
    const auto put = [](std::vector<uint8_t>& data, uint64_t value, int bytes, bool bigEndian) {
        for (int i = 0; i < bytes; ++i)
            data.push_back(static_cast<uint8_t>(value >> 8 * (bigEndian ? bytes - 1 - i : i)));
    };
    // Records of 24 bytes: a pointer from `base` on, then 16 random bytes.
    const auto pointerRecords = [&](uint64_t base) {
        std::vector<uint8_t> data;
        for (int record = 0; record < 200; ++record) {
            put(data, base + random() % 0x100000 * 8 + 1, 8, false);
            for (int i = 0; i < 16; ++i) data.push_back(static_cast<uint8_t>(random()));
        }
        return data;
    };
    const auto smallNumbers = [&](bool bigEndian) {
        std::vector<uint8_t> data;
        for (int i = 0; i < 1200; ++i)
            put(data, static_cast<uint32_t>(static_cast<int>(random() % 6000) - 3000), 4, bigEndian);
        return data;
    };
    std::vector<uint8_t> font;
    for (int row = 0; row < 2400; ++row) {
        font.push_back(row % 16 < 3 ? 0 : static_cast<uint8_t>(1 + random() % 254));
        font.push_back(0);
    }
    const ProgramLayout little{{}, {{0x400000, 0x3B00000}}, 8, false},
        big{{}, {{0x400000, 0x3B00000}}, 8, true};
    struct TableCase {
        const char* what;
        std::vector<uint8_t> data;
        int64_t rowBytes;
        const ProgramLayout* layout;
        bool table;
    };
    const ProgramLayout none{};
    const TableCase cases[] = {
        {"pointers into the program", pointerRecords(0x400000), 24, &little, true},
        {"pointers elsewhere", pointerRecords(0x4000000), 24, &little, false},
        {"pointers in data that is no program", pointerRecords(0x400000), 24, &none, false},
        {"small numbers", smallNumbers(false), 16, &little, true},
        {"small numbers, big-endian", smallNumbers(true), 1, &big, true},
        {"small numbers in the other byte order", smallNumbers(true), 16, &little, false},
        {"small numbers in data that is no program", smallNumbers(false), 16, &none, false},
        {"a font two bytes wide", font, 2, &little, false},
    };
    for (const TableCase& c : cases)
        EXPECT_EQ(
            holdsProgramTable(c.data.data(), 0, static_cast<int64_t>(c.data.size()), c.rowBytes, *c.layout),
            c.table)
            << c.what;
    const std::vector<uint8_t> sample = sampleFile();
    for (const PlantedPicture& p : kPlanted)
        EXPECT_FALSE(holdsProgramTable(sample.data(), p.first, p.length, p.width, little)) << p.first;
}

}  // namespace

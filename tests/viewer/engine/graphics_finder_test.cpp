// The width guess and the graphics scan on the sample file's known pictures and on data without any.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "viewer/engine/graphics_finder.h"

namespace {

std::vector<uint8_t> sampleFile() {
    std::ifstream file(PL_SAMPLE_PATH, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(GraphicsFinderTest, GuessesTheWidthsOfTheSamplePictures) {
    const std::vector<uint8_t> data = sampleFile();
    ASSERT_EQ(data.size(), 32768u);
    const int64_t rows[][3] = {{0x1000, 0, 2}, {0x2000, 0, 40}, {0x3000, 1, 4}, {0x3400, 1, 40},
                               {0x4400, 2, 4}, {0x5800, 3, 8},  {0x6000, 3, 64}};  // first, mode, width
    for (const auto& [first, mode, width] : rows) {
        const WidthGuess guess = guessWidth(data.data(), 32768, first, static_cast<int>(mode), 256);
        ASSERT_GT(guess.count, 0) << first;
        EXPECT_EQ(guess.candidates[0].width, width) << first << " mode " << mode;
    }
    // A smaller largest width bounds the answer.
    const WidthGuess narrow = guessWidth(data.data(), 32768, 0x6000, 3, 32);
    for (int i = 0; i < narrow.count; ++i) EXPECT_LE(narrow.candidates[i].width, 32);
}

TEST(GraphicsFinderTest, ScanFindsTheSamplePicturesLinedUp) {
    const std::vector<uint8_t> data = sampleFile();
    std::string listed;  // mode:first+length/width; BK-0010 finds what Atari GR.15 finds
    for (const auto& [mode, from, to] :
         {std::array{0, 0, 32768}, {1, 0, 32768}, {3, 0, 32768}, {0, 12000, 16000}})
        for (const GraphicsRegion& r : scanGraphics(data.data(), 32768, mode, from, to, 256))
            listed += std::to_string(mode) + ":" + std::to_string(r.first) + "+" + std::to_string(r.length) +
                      "/" + std::to_string(r.width) + " ";
    EXPECT_EQ(listed,
              "0:0+4192/1 0:8192+2520/40 0:13712+3440/40 0:17152+1280/4 0:18432+4584/6 0:24576+8192/64 "
              "1:1503+4128/2 1:8192+2520/40 1:13712+3440/40 1:17152+1280/4 1:18432+4584/6 1:24576+8192/64 "
              "3:1503+4128/8 3:8192+2520/2 3:15024+1440/40 3:24576+8192/64 0:13712+3440/40 ");
    // A scan over [its first byte, one byte on) lists a region not cut short by the one before.
    const std::vector<GraphicsRegion> whole = scanGraphics(data.data(), 32768, 3, 0, 32768, 256);
    for (size_t r = 0; r < whole.size(); ++r) {
        if (r > 0 && whole[r].first < whole[r - 1].first + whole[r - 1].length + whole[r].width) continue;
        const std::vector<GraphicsRegion> part =
            scanGraphics(data.data(), 32768, 3, whole[r].first, whole[r].first + 1, 256);
        ASSERT_FALSE(part.empty()) << whole[r].first;
        EXPECT_EQ(part[0].first, whole[r].first);
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
    std::vector<uint8_t> picture;
    for (int y = 0; y < 80; ++y) {
        const double edge = placed.width * (4 + 2.5 * std::sin(y / 9.0 + wave));  // in pixels
        for (int b = 0; b < placed.width; ++b) {
            uint8_t byte = 0;
            for (int k = 0; k < 8; ++k) byte |= static_cast<uint8_t>((b * 8 + k < edge) << (7 - k));
            picture.push_back(byte);
        }
    }
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

}  // namespace

// The width guess and the graphics scan on the sample file, whose pictures are known, and on
// data that holds none.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "viewer/graphics_finder.h"

namespace {

std::vector<uint8_t> sampleFile() {
    std::ifstream file(PL_SAMPLE_PATH, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct GuessRow {
    int64_t first;
    int32_t mode;
    int32_t width;
};

TEST(GraphicsFinderTest, GuessesTheWidthsOfTheSamplePictures) {
    const std::vector<uint8_t> data = sampleFile();
    ASSERT_EQ(data.size(), 32768u);
    const GuessRow rows[] = {{0x1000, 0, 2}, {0x2000, 0, 40}, {0x3000, 1, 4},  {0x3400, 1, 40},
                             {0x4400, 2, 4}, {0x5800, 3, 8},  {0x6000, 3, 64}, {0x2000, 0, 40}};
    for (const GuessRow& row : rows) {
        const WidthGuess guess = guessWidth(data.data(), 32768, row.first, row.mode, 256);
        ASSERT_GT(guess.count, 0) << row.first;
        EXPECT_EQ(guess.candidates[0].width, row.width) << row.first << " mode " << row.mode;
    }
    // A smaller largest width bounds the answer.
    const WidthGuess narrow = guessWidth(data.data(), 32768, 0x6000, 3, 32);
    for (int i = 0; i < narrow.count; ++i) EXPECT_LE(narrow.candidates[i].width, 32);
}

TEST(GraphicsFinderTest, ScanFindsTheSamplePicturesLinedUp) {
    const std::vector<uint8_t> data = sampleFile();
    // A picture is found when a region of its width starts on one of its rows.
    struct Row {
        int32_t mode;
        int64_t first, length;
        int32_t width;
    };
    const Row rows[] = {{3, 0x5800, 2048, 8}, {1, 0x3000, 1024, 4}};
    for (const Row& row : rows) {
        bool found = false;
        for (const GraphicsRegion& region : scanGraphics(data.data(), 32768, row.mode, 0, 32768, 256))
            found |= region.width == row.width && region.first < row.first + row.length &&
                     region.first + region.length > row.first && (region.first - row.first) % row.width == 0;
        EXPECT_TRUE(found) << row.first << " mode " << row.mode;
    }
    GraphicsRegion region{};
    ASSERT_TRUE(findNextGraphics(data.data(), 32768, 3, 0x5000, 256, region));
    EXPECT_EQ(region.first, 0x5800);
    ASSERT_TRUE(findPreviousGraphics(data.data(), 32768, 3, 0x5800, 256, region));
    EXPECT_LT(region.first, 0x5800);
}

TEST(GraphicsFinderTest, DataWithoutPicturesGivesNothing) {
    std::mt19937 random(7);
    std::vector<uint8_t> noise(200000);
    for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
    // Prose: words of random lengths, lines of random lengths.
    const char* const words[] = {"the",       "data",  "of",      "old", "home",
                                 "computers", "holds", "sprites", "and", "fonts"};
    std::string text;
    while (text.size() < 200000)
        text += std::string(words[random() % 10]) + (random() % 9 == 0 ? ".\n" : " ");
    const std::vector<std::vector<uint8_t>> cases = {std::vector<uint8_t>(100000, 0),
                                                     std::vector<uint8_t>(100000, 255), noise,
                                                     std::vector<uint8_t>(text.begin(), text.end())};
    for (size_t c = 0; c < cases.size(); ++c) {
        const auto size = static_cast<int64_t>(cases[c].size());
        for (int32_t mode = 0; mode < 4; ++mode) {
            EXPECT_EQ(guessWidth(cases[c].data(), size, 0, mode, 256).count, 0) << c << " mode " << mode;
            EXPECT_TRUE(scanGraphics(cases[c].data(), size, mode, 0, size, 256).empty())
                << c << " mode " << mode;
        }
    }
}

}  // namespace

// Every version of the finder's pair loops against counts worked out pixel by pixel, on the same
// bytes: one test per version, skipped (and counted) where this processor cannot run it.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "viewer/engine/finder_pairs.h"

namespace finder {
void PrintTo(const PairLoops& loops, std::ostream* out) {
    *out << loops.name;
}
}  // namespace finder

namespace {

// Pixel `index` of a byte, from the left, in the mode's bits per pixel (its order within the byte
// does not change how many differ nor the sum).
int pixelOf(uint8_t byte, int index, int mode) {
    const int bits = mode == 0 ? 1 : mode == 3 ? 4 : 2;
    return byte >> (8 - bits * (index + 1)) & ((1 << bits) - 1);
}

struct Counts {
    std::array<int64_t, finder::kWidthSlots> diff{}, densityDiff{}, pairs{};
};

Counts countedPixelByPixel(const std::vector<uint8_t>& data, int64_t begin, int64_t end, int lastWidth,
                           int mode) {
    Counts counts;
    const int pixels = mode == 0 ? 8 : mode == 3 ? 2 : 4;
    const auto size = static_cast<int64_t>(data.size());
    for (int w = 1; w <= lastWidth; ++w)
        for (int64_t i = begin; i < end && i + w < size; ++i) {
            int density = 0;
            for (int p = 0; p < pixels; ++p) {
                const int a = pixelOf(data[i], p, mode), b = pixelOf(data[i + w], p, mode);
                counts.diff[w] += a != b;
                density += a - b;
            }
            counts.densityDiff[w] += std::abs(density);
            ++counts.pairs[w];
        }
    return counts;
}

class PairLoopsTest : public testing::TestWithParam<finder::PairLoops> {};

TEST_P(PairLoopsTest, CountAsPixelByPixel) {
    const finder::PairLoops& loops = GetParam();
    if (!loops.runsHere()) GTEST_SKIP() << loops.name << ": this processor lacks its instructions";
    // Runs of few values, as pictures have, between random bytes; long enough for whole vectors
    // and the bytes after them.
    std::mt19937 random(5);
    std::vector<uint8_t> data(900);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] =
            i % 200 < 120 ? static_cast<uint8_t>(0x3C >> (random() % 3)) : static_cast<uint8_t>(random());
    const auto size = static_cast<int64_t>(data.size());
    struct Stretch {
        int64_t begin, end;
    };
    // The whole data, a sample's length inside it, and a tail shorter than the widest width.
    for (const Stretch s :
         {Stretch{0, size}, Stretch{37, 37 + finder::kScanSample}, Stretch{size - 150, size}})
        for (int mode = 0; mode < 4; ++mode) {
            const int widths = finder::kWidthSlots - 1;
            const Counts expected = countedPixelByPixel(data, s.begin, s.end, widths, mode);
            Counts counted;
            loops.addPairs(data.data(), size, s.begin, s.end, 1, widths, mode, counted.diff.data(),
                           counted.pairs.data());
            loops.addDensityPairs(data.data(), size, s.begin, s.end, widths, mode,
                                  counted.densityDiff.data());
            const std::string where = "from " + std::to_string(s.begin) + " mode " + std::to_string(mode);
            EXPECT_EQ(counted.diff, expected.diff) << where;
            EXPECT_EQ(counted.pairs, expected.pairs) << where;
            EXPECT_EQ(counted.densityDiff, expected.densityDiff) << where;
        }
}

std::string versionName(const testing::TestParamInfo<finder::PairLoops>& info) {
    std::string name = info.param.name;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryVersion, PairLoopsTest, testing::ValuesIn(finder::pairLoopVersions()),
                         versionName);

}  // namespace

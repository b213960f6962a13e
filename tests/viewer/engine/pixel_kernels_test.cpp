#include "viewer/engine/pixel_kernel_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>
#include <vector>

namespace {

// One-bit pixels, the first in the top bit of each byte.
SourceBitMap binaryBits() {
    SourceBitMap map;
    for (int x = 0; x < 64; ++x) map.bits[0][x] = {x / 8, 7 - x % 8};
    return map;
}

// Lines of values two screen pixels wide on two image rows (zoom 2) are stored on 64-byte
// boundaries, so their first and last vectors reach past the rows. At every phase of the rows
// and at lengths ending in every part of a chunk, each row gets exactly its screen bytes and
// nothing around them changes.
TEST(PixelKernelsTest, TwoRowLinesWriteExactlyTheirRows) {
    const PixelKernels* avx512 = pixelKernelsNamed("avx512");
    if (avx512 == nullptr) GTEST_SKIP() << "avx512 does not run on this machine";
    std::mt19937 random(7);
    std::vector<uint8_t> data(64);
    for (uint8_t& b : data) b = static_cast<uint8_t>(random());
    const int32_t colours[2] = {0x000000, 0xFFFFFF};
    LineExpander expander;
    makeLineExpander(expander, colours, 2, 2);
    static const SourceBitMap kBinary = binaryBits();
    const BitGatherPlan plan = bitGatherPlan(&kBinary, 1, 8, 0, levelsRepeatBits(expander, 1));
    ASSERT_TRUE(plan.usable);
    uint8_t identity[256];
    std::iota(identity, identity + 256, 0);
    const uint8_t checker[64] = {};
    std::vector<uint8_t> values(8 * 1024);
    constexpr uint8_t kUntouched = 0x5A;
    for (const ptrdiff_t stride : {1800, 1804}) {
        std::vector<uint8_t> image(3 * stride + 256), expected;
        for (int phase = 0; phase < 64; ++phase) {
            // Runs ending in a chunk's first vector, its middle, its last, and one past it.
            for (const int pixels : {1, 10, 53, 54, 63, 64, 65, 120, 128, 191, 250, 300}) {
                SCOPED_TRACE(testing::Message()
                             << "stride " << stride << " phase " << phase << " pixels " << pixels);
                std::memset(image.data(), kUntouched, image.size());
                expected = image;
                uint8_t* const base = image.data() + (64 - reinterpret_cast<uintptr_t>(image.data()) % 64);
                const ptrdiff_t row0 = base + 64 + stride + phase - image.data();
                const int64_t bytes = int64_t{pixels} * 6;
                for (int x = 0; x < pixels; ++x) {
                    const uint8_t level = (data[x / 8] >> (7 - x % 8)) & 1 ? 0xFF : 0x00;
                    for (const ptrdiff_t row : {row0, row0 - stride})
                        std::memset(&expected[row + 6 * x], level, 6);
                }
                const LineStrip strip{0, 0, pixels, 0};
                const LineBatch batch{data.data(),
                                      int64_t(data.size()),
                                      0,
                                      &strip,
                                      1,
                                      1,
                                      1,
                                      64,
                                      0,
                                      identity,
                                      true,
                                      false,
                                      {image.data() + row0, -stride, 2},
                                      -2 * stride,
                                      size_t(bytes),
                                      size_t(bytes),
                                      {checker, checker},
                                      0,
                                      0};
                ASSERT_TRUE(avx512->drawLineBatch(plan, expander, batch, {values.data(), 8, 1024}));
                ASSERT_TRUE(image == expected);
            }
        }
    }
}

}  // namespace

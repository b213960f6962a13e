#include "viewer/engine/pixel_kernel_tables.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "viewer/engine/format_files.h"
#include "viewer/engine/wide_colours.h"

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

// Rows of direct colour words of every length up to three of the widest kernel's rounds and more,
// by every table: each pixel's three screen bytes (blue, green, red) are its channels c of n bits
// scaled to 255 c / (2^n - 1), read from the word as written here; no byte around the rows changes.
TEST(PixelKernelsTest, DirectColourRowsWriteExactlyTheirPixels) {
    const struct {
        const char* value;
        uint32_t masks[3];  // red, green, blue
    } formats[] = {
        {"2 le", {0xF800, 0x07E0, 0x001F}},         {"2 be", {0x001F, 0x03E0, 0x7C00}},
        {"2 le", {0x0F00, 0x00F0, 0x000F}},         {"2 be", {0xFF00, 0x00F0, 0x000F}},
        {"3 be", {0xFF0000, 0x00FF00, 0x0000FF}},   {"3 le", {0x3F000, 0x00FC0, 0x0003F}},
        {"4 le", {0x00FF00, 0xFF0000, 0xFF000000}}, {"4 be", {0xFF000000, 0x0000FF00, 0x000000F0}},
    };
    std::mt19937 random(11);
    constexpr uint8_t kUntouched = 0x5A;
    for (const char* table : {"plain", "avx2", "avx512"}) {
        const PixelKernels* kernels = pixelKernelsNamed(table);
        if (kernels == nullptr) continue;
        for (const auto& f : formats) {
            const int bytes = f.value[0] - '0';
            const bool bigEndian = f.value[2] == 'b';
            char masks[64];
            std::snprintf(masks, sizeof masks, "%X %X %X", f.masks[0], f.masks[1], f.masks[2]);
            FormatFiles formats;
            const std::string text = "name = D\nid = d\nlayout = linear\nwidth-pixels = 1\nwidth-bytes = " +
                                     std::to_string(bytes) + "\nbits = " + std::to_string(8 * bytes) +
                                     "\nvalue = " + f.value + "\ncolours = direct " + masks + "\n";
            const int mode = addFormatText(formats, text, "d").mode;
            ASSERT_GE(mode, 0) << text;
            const ModeRow& row = *modeRow(mode, &formats.modes);
            WideColours colours;
            makeWideColours(colours, *row.record, nullptr, 0);
            DirectColourWords plan;
            ASSERT_TRUE(makeDirectColourWords(plan, row, colours));
            for (int pixels = 1; pixels <= 200; ++pixels) {
                SCOPED_TRACE(testing::Message() << table << " " << text << pixels << " pixels");
                // Two rows, each exactly its words, written bottom row first as the image lies.
                std::vector<uint8_t> words(2 * size_t(pixels) * bytes);
                for (uint8_t& b : words) b = static_cast<uint8_t>(random());
                const ptrdiff_t outStep = 3 * pixels + 70;
                std::vector<uint8_t> out(2 * outStep + 64, kUntouched), expected = out;
                for (int r = 0; r < 2; ++r)
                    for (int x = 0; x < pixels; ++x) {
                        uint32_t value = 0;
                        for (int i = 0; i < bytes; ++i)
                            value |= uint32_t{words[(size_t(r) * pixels + x) * bytes + i]}
                                     << 8 * (bigEndian ? bytes - 1 - i : i);
                        for (int c = 0; c < 3; ++c) {
                            const uint32_t mask = f.masks[2 - c];
                            const uint32_t top = (1u << std::popcount(mask)) - 1;
                            expected[outStep * (1 - r) + 32 + 3 * x + c] =
                                static_cast<uint8_t>(255 * ((value & mask) >> std::countr_zero(mask)) / top);
                        }
                    }
                writeDirectColours(*kernels, plan,
                                   {words.data(), ptrdiff_t{pixels} * bytes, out.data() + outStep + 32,
                                    -outStep, 2, pixels});
                ASSERT_TRUE(out == expected);
            }
        }
    }
}

}  // namespace

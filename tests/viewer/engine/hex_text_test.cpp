// Selected bytes as hexadecimal text: lines of bytes that follow each other in the file.
#include "viewer/engine/hex_text.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(HexTextTest, LinesOfBytesThatFollowEachOther) {
    uint8_t bytes[40];
    for (int i = 0; i < 40; ++i) bytes[i] = static_cast<uint8_t>(i);
    const DataBytes data{bytes, 40};
    // First, bytes, stride, rows, inverse, reverse; the text ("" refused).
    // clang-format off
    const std::tuple<int64_t, int64_t, int64_t, int64_t, bool, bool, const char*> cases[] = {
        {0, 18, 18, 1, false, false, "00000000  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n00000010  10 11\n"},
        {5, 3, 8, 2, false, false, "00000005  05 06 07\n0000000D  0D 0E 0F\n"},
        {0, 6, 6, 3, false, false, "00000000  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n00000010  10 11\n"},
        {1, 2, 2, 1, true, false, "00000001  FE FD\n"},
        {1, 2, 2, 1, false, true, "00000001  80 40\n"},
        {-2, 3, 3, 1, true, false, "-00000002  00 00 FF\n"},  // before the data: 0, not inverted
        {38, 2, 2, 1, false, false, "00000026  26 27\n"},
        {38, 3, 3, 1, false, false, ""},  // past the end
        {0, 0, 1, 2, false, false, ""},
    };
    // clang-format on
    for (const auto& [first, count, stride, rows, inverse, reverse, text] : cases) {
        std::string made = "old";
        const bool done =
            blockHexText(data, ByteBlock{first, count, stride, rows}, SavedByteForm{inverse, reverse}, made);
        EXPECT_EQ(made, text) << first << " " << count;
        EXPECT_EQ(done, *text != 0 || count == 0);
    }
    std::string made;
    EXPECT_FALSE(blockHexText(data, ByteBlock{0, 1, 0, kLargestHexBlock + 1}, SavedByteForm{}, made));
}

}  // namespace

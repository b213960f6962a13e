#include "support/text_ops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>

namespace {

TEST(TextOpsTest, NumbersToText) {
    // clang-format off
    const std::pair<int64_t, const char*> decimals[] = {
        {0, "0"}, {-1, "-1"}, {7, "7"}, {10, "10"}, {-100, "-100"}, {INT32_MIN, "-2147483648"},
        {int64_t{INT32_MIN} - 1, "-2147483649"}, {INT64_MAX, "9223372036854775807"},
        {INT64_MIN, "-9223372036854775808"}
    };
    // clang-format on
    for (const auto& [value, text] : decimals) EXPECT_EQ(decimalText(value), text) << value;
    // clang-format off
    const std::pair<int64_t, std::string> binaries[] = {
        {0, "0"}, {1, "1"}, {2, "10"}, {5, "101"}, {256, "100000000"}, {INT64_MAX, std::string(63, '1')},
        {-1, std::string(64, '1')}, {INT64_MIN, "1" + std::string(63, '0')}
    };
    // clang-format on
    for (const auto& [value, text] : binaries) EXPECT_EQ(binaryText(value), text) << value;
}

TEST(TextOpsTest, TextToNumber) {
    // clang-format off
    const std::pair<std::string, int64_t> cases[] = {
        {" 42", 42}, {"\t \t42", 42}, {"-17", -17}, {"+17", 17}, {"  -0", 0}, {"007", 7},
        // Hexadecimal and binary.
        {"$FF", 255}, {"$ff", 255}, {"$aBc", 0xABC}, {"-$10", -16}, {"+$10", 16}, {"%101", 5}, {"-%11", -3},
        // Stray bytes end the number.
        {"%102", 2}, {"%2", 0}, {"12ab", 12}, {"0x10", 0}, {"$12G4", 0x12}, {"1 2", 1}, {"4.9", 4},
        // No digits.
        {"", 0}, {"$", 0}, {"%", 0}, {"-", 0}, {"x5", 0}, {"\n5", 0}, {"- 5", 0}, {"--5", 0}, {"$-5", 0},
        // Wrap modulo 2^64.
        {"9223372036854775808", INT64_MIN}, {"18446744073709551615", -1}, {"18446744073709551616", 0},
        {"$FFFFFFFFFFFFFFFF", -1}, {"$10000000000000005", 5}, {"-$8000000000000000", INT64_MIN},
        {"$7fffffffffffffff", INT64_MAX}
    };
    // clang-format on
    for (const auto& [text, value] : cases) EXPECT_EQ(textToNumber(text), value) << '"' << text << '"';
}

TEST(TextOpsTest, PadLeft) {
    struct Case {
        std::string text;
        int64_t width;
        const char* fill;
        std::string result;
        // clang-format off
    } cases[] = {
        {"101", 8, "0", "00000101"}, {"ab", 4, nullptr, "  ab"}, {"ab", 4, "xy", "xxab"},
        {"ab", 3, "", " ab"}, {"abc", 3, "0", "abc"}, {"0123456789", 8, "0", "01234567"}, {"abc", 0, "0", ""},
        {"abc", -5, "0", ""}, {"abc", INT64_MIN, "0", ""}, {"", 2, "*", "**"},
        {"a", (int64_t{1} << 30) + 1, "0", ""}, {"a", INT64_MAX, "0", ""}
    };
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(padLeft(c.text, c.width, c.fill), c.result) << c.text << " " << c.width;
    EXPECT_EQ(padLeft("ab", 4), "  ab");
}

TEST(TextOpsTest, ReverseLengthAndLetterCase) {
    // clang-format off
    const char* const cases[][4] = {
        // text, reversed, upper, lower
        {"", "", "", ""}, {"a", "a", "A", "a"}, {"3fa", "af3", "3FA", "3fa"},
        {"az AZ", "ZA za", "AZ AZ", "az az"}, {"@[`{", "{`[@", "@[`{", "@[`{"},
        {"\xe9\xc9\xff\x01", "\x01\xff\xc9\xe9", "\xe9\xc9\xff\x01", "\xe9\xc9\xff\x01"}
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(reverseText(c[0]), c[1]);
        EXPECT_EQ(upperCase(c[0]), c[2]);
        EXPECT_EQ(lowerCase(c[0]), c[3]);
        EXPECT_EQ(textLength(c[0]), static_cast<int64_t>(std::string(c[0]).size()));
    }
}

TEST(TextOpsTest, TextField) {
    struct Case {
        std::string text;
        int64_t index;
        std::string delimiter, field;
        // clang-format off
    } cases[] = {
        {"first\nsecond", 1, "\n", "first"}, {"first\nsecond", 2, "\n", "second"},
        {"first\nsecond", 3, "\n", ""}, {"first\nsecond", 0, "\n", ""}, {"first\nsecond", -1, "\n", ""},
        {"first\nsecond", INT64_MIN, "\n", ""}, {"first\nsecond", INT64_MAX, "\n", ""},
        {"alone", 1, "\n", "alone"}, {"alone", 2, "\n", ""}, {"a,,b,", 2, ",", ""}, {"a,,b,", 3, ",", "b"},
        {"a,,b,", 5, ",", ""}, {"", 1, ",", ""}, {"a<>b<c>d", 2, "<>", "b<c>d"}, {"a<>b<>c", 3, "<>", "c"},
        {"aXYXYb", 2, "XY", ""}, {"aXYXYb", 3, "XY", "b"}, {"aaa", 2, "aa", "a"},
        {"whole text", 1, "", "whole text"}, {"whole text", 2, "", ""}
    };
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(textField(c.text, c.index, c.delimiter), c.field)
            << c.text << " " << c.index << " " << c.delimiter;
}

TEST(TextOpsTest, MidText) {
    // clang-format off
    const std::tuple<int64_t, int64_t, std::string> cases[] = {
        {1, 3, "abc"}, {2, 2, "bc"}, {4, 100, "def"}, {6, 1, "f"}, {7, 1, ""}, {100, 1, ""}, {0, 2, "ab"},
        {-5, 2, "ab"}, {INT64_MIN, 2, "ab"}, {2, 0, ""}, {2, -1, ""}, {2, INT64_MIN, ""}, {INT64_MAX, 5, ""},
        {1, INT64_MAX, "abcdef"}
    };
    // clang-format on
    for (const auto& [start, length, result] : cases)
        EXPECT_EQ(midText("abcdef", start, length), result) << start << "," << length;
    // clang-format off
    const std::pair<int64_t, std::string> toEnd[] = {
        {1, "abcdef"}, {3, "cdef"}, {6, "f"}, {7, ""}, {0, "abcdef"}, {-1, "abcdef"}, {INT64_MIN, "abcdef"},
        {INT64_MAX, ""}
    };
    // clang-format on
    for (const auto& [start, result] : toEnd) EXPECT_EQ(midText("abcdef", start), result) << start;
}

TEST(TextOpsTest, FindText) {
    // clang-format off
    const std::tuple<std::string, std::string, int64_t> cases[] = {
        {"0123456789ABCDEF", "A", 11}, {"0123456789ABCDEF", "0", 1}, {"0123456789ABCDEF", "EF", 15},
        {"0123456789ABCDEF", "a", 0}, {"0123456789ABCDEF", "FG", 0}, {"abab", "ab", 1}, {"abc", "abcd", 0},
        {"", "a", 0}, {"abc", "", 0}
    };
    // clang-format on
    for (const auto& [text, pattern, position] : cases)
        EXPECT_EQ(findText(text, pattern), position) << text << " / " << pattern;
}

TEST(TextOpsTest, TruncateToInteger) {
    const double infinity = std::numeric_limits<double>::infinity();
    // clang-format off
    const std::pair<double, int32_t> cases[] = {
        {2.9, 2}, {-2.9, -2}, {0.5, 0}, {-0.5, 0}, {2147483647.9, INT32_MAX}, {-2147483648.9, INT32_MIN},
        {2147483648.0, INT32_MAX}, {-2147483649.0, INT32_MIN}, {1e300, INT32_MAX}, {-infinity, INT32_MIN},
        {infinity, INT32_MAX}, {std::nan(""), 0}
    };
    // clang-format on
    for (const auto& [value, result] : cases) EXPECT_EQ(truncateToInteger(value), result) << value;
}

}  // namespace

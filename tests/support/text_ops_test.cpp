#include "support/text_ops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

TEST(TextOpsTest, DecimalText) {
    struct Case {
        int64_t value;
        const char* text;
    };
    const Case cases[] = {
        {0, "0"},
        {-1, "-1"},
        {7, "7"},
        {10, "10"},
        {-100, "-100"},
        {2147483647, "2147483647"},
        {INT32_MIN, "-2147483648"},
        {static_cast<int64_t>(INT32_MIN) - 1, "-2147483649"},
        {INT64_MAX, "9223372036854775807"},
        {INT64_MIN, "-9223372036854775808"},
    };
    for (const Case& c : cases) EXPECT_EQ(decimalText(c.value), c.text) << c.value;
}

TEST(TextOpsTest, TextToNumber) {
    struct Case {
        std::string text;
        int64_t value;
    };
    const Case cases[] = {
        // Decimal, with blanks and signs.
        {" 42", 42},
        {"\t \t42", 42},
        {"-17", -17},
        {"+17", 17},
        {"  -0", 0},
        {"007", 7},
        // Hexadecimal.
        {"$FF", 255},
        {"$ff", 255},
        {"$aBc", 0xABC},
        {"-$10", -16},
        {"+$10", 16},
        {"$7fffffffffffffff", INT64_MAX},
        // Binary.
        {"%101", 5},
        {"-%11", -3},
        {"%102", 2},
        {"%2", 0},
        // Stray bytes end the number.
        {"12ab", 12},
        {"0x10", 0},
        {"$12G4", 0x12},
        {"1 2", 1},
        {"4.9", 4},
        // No digits.
        {"", 0},
        {"$", 0},
        {"%", 0},
        {"-", 0},
        {"x5", 0},
        {"\n5", 0},
        {"- 5", 0},
        {"--5", 0},
        {"-+5", 0},
        {"$-5", 0},
        // Wrap modulo 2^64.
        {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", INT64_MIN},
        {"-9223372036854775808", INT64_MIN},
        {"18446744073709551615", -1},
        {"18446744073709551616", 0},
        {"$FFFFFFFFFFFFFFFF", -1},
        {"$10000000000000005", 5},
        {"-$8000000000000000", INT64_MIN},
    };
    for (const Case& c : cases) EXPECT_EQ(textToNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(TextOpsTest, BinaryText) {
    struct Case {
        int64_t value;
        std::string text;
    };
    const Case cases[] = {
        {0, "0"},
        {1, "1"},
        {2, "10"},
        {5, "101"},
        {255, "11111111"},
        {256, "100000000"},
        {INT64_MAX, std::string(63, '1')},
        {-1, std::string(64, '1')},
        {INT64_MIN, "1" + std::string(63, '0')},
    };
    for (const Case& c : cases) EXPECT_EQ(binaryText(c.value), c.text) << c.value;
}

TEST(TextOpsTest, PadLeft) {
    struct Case {
        const char* what;
        std::string text;
        int64_t width;
        const char* fill;
        std::string result;
    };
    const Case cases[] = {
        {"zeros before", "101", 8, "0", "00000101"},
        {"absent fill is a space", "ab", 4, nullptr, "  ab"},
        {"first byte of fill", "ab", 4, "xy", "xxab"},
        {"empty fill is a space", "ab", 3, "", " ab"},
        {"exact width", "abc", 3, "0", "abc"},
        {"too long loses its end", "0123456789", 8, "0", "01234567"},
        {"width 0", "abc", 0, "0", ""},
        {"negative width", "abc", -5, "0", ""},
        {"smallest width", "abc", INT64_MIN, "0", ""},
        {"empty text", "", 2, "*", "**"},
    };
    for (const Case& c : cases) EXPECT_EQ(padLeft(c.text, c.width, c.fill), c.result) << c.what;
    EXPECT_EQ(padLeft("ab", 4), "  ab");
}

TEST(TextOpsTest, PadLeftBeyondTheLongestPaddingIsEmpty) {
    EXPECT_EQ(padLeft("a", (int64_t{1} << 30) + 1, "0"), "");
    EXPECT_EQ(padLeft("a", INT64_MAX, "0"), "");
}

TEST(TextOpsTest, BitReversalChainReversesEveryByte) {
    for (int v = 0; v < 256; ++v) {
        int reversed = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (v & (1 << bit)) reversed |= 0x80 >> bit;
        }
        EXPECT_EQ(textToNumber("%" + reverseText(padLeft(binaryText(v), 8, "0"))), reversed) << v;
    }
}

TEST(TextOpsTest, ReverseTextAndLength) {
    struct Case {
        std::string text;
        std::string reversed;
    };
    const Case cases[] = {{"", ""}, {"a", "a"}, {"abc", "cba"}, {"\xff\x01", "\x01\xff"}};
    for (const Case& c : cases) {
        EXPECT_EQ(reverseText(c.text), c.reversed);
        EXPECT_EQ(textLength(c.text), static_cast<int64_t>(c.text.size()));
    }
}

TEST(TextOpsTest, TextField) {
    struct Case {
        std::string text;
        int64_t index;
        std::string delimiter;
        std::string field;
    };
    const Case cases[] = {
        // One-byte delimiter.
        {"first\nsecond", 1, "\n", "first"},
        {"first\nsecond", 2, "\n", "second"},
        {"first\nsecond", 3, "\n", ""},
        {"first\nsecond", 0, "\n", ""},
        {"first\nsecond", -1, "\n", ""},
        {"first\nsecond", INT64_MIN, "\n", ""},
        {"first\nsecond", INT64_MAX, "\n", ""},
        {"alone", 1, "\n", "alone"},
        {"alone", 2, "\n", ""},
        {"a,,b,", 2, ",", ""},
        {"a,,b,", 3, ",", "b"},
        {"a,,b,", 4, ",", ""},
        {"a,,b,", 5, ",", ""},
        {"", 1, ",", ""},
        // Longer delimiters match as a whole.
        {"a<>b<c>d", 2, "<>", "b<c>d"},
        {"a<>b<>c", 3, "<>", "c"},
        {"aXYXYb", 2, "XY", ""},
        {"aXYXYb", 3, "XY", "b"},
        {"aaa", 2, "aa", "a"},
        // Empty delimiter.
        {"whole text", 1, "", "whole text"},
        {"whole text", 2, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(textField(c.text, c.index, c.delimiter), c.field)
            << '"' << c.text << "\" " << c.index << " \"" << c.delimiter << '"';
    }
}

TEST(TextOpsTest, MidText) {
    struct Case {
        int64_t start;
        int64_t length;
        std::string result;
    };
    const std::string text = "abcdef";
    const Case cases[] = {
        {1, 3, "abc"},        {2, 2, "bc"},
        {4, 100, "def"},      {6, 1, "f"},
        {7, 1, ""},           {100, 1, ""},
        {0, 2, "ab"},         {-5, 2, "ab"},
        {INT64_MIN, 2, "ab"}, {2, 0, ""},
        {2, -1, ""},          {2, INT64_MIN, ""},
        {INT64_MAX, 5, ""},   {1, INT64_MAX, "abcdef"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(midText(text, c.start, c.length), c.result) << c.start << "," << c.length;

    struct ToEnd {
        int64_t start;
        std::string result;
    };
    const ToEnd toEnd[] = {
        {1, "abcdef"},  {3, "cdef"},           {6, "f"},        {7, ""}, {0, "abcdef"},
        {-1, "abcdef"}, {INT64_MIN, "abcdef"}, {INT64_MAX, ""},
    };
    for (const ToEnd& c : toEnd) EXPECT_EQ(midText(text, c.start), c.result) << c.start;
    EXPECT_EQ(midText("abc", textLength("abc") - 3), "abc");
}

TEST(TextOpsTest, LetterCaseChangesAsciiLettersOnly) {
    struct Case {
        std::string text;
        std::string upper;
        std::string lower;
    };
    const Case cases[] = {
        {"3fa", "3FA", "3fa"},
        {"Hello, World!", "HELLO, WORLD!", "hello, world!"},
        {"@[`{", "@[`{", "@[`{"},
        {"az AZ", "AZ AZ", "az az"},
        {"\xe9\xc9\xff", "\xe9\xc9\xff", "\xe9\xc9\xff"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(upperCase(c.text), c.upper);
        EXPECT_EQ(lowerCase(c.text), c.lower);
    }
}

TEST(TextOpsTest, FindText) {
    struct Case {
        std::string text;
        std::string pattern;
        int64_t position;
    };
    const Case cases[] = {
        {"0123456789ABCDEF", "A", 11},
        {"0123456789ABCDEF", "0", 1},
        {"0123456789ABCDEF", "EF", 15},
        {"0123456789ABCDEF", "a", 0},
        {"0123456789ABCDEF", "FG", 0},
        {"abab", "ab", 1},
        {"abc", "abcd", 0},
        {"", "a", 0},
        {"abc", "", 0},
        {"", "", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(findText(c.text, c.pattern), c.position) << c.text << " / " << c.pattern;
}

TEST(TextOpsTest, TruncateToInteger) {
    struct Case {
        double value;
        int32_t result;
    };
    const double infinity = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {2.9, 2},
        {-2.9, -2},
        {0.5, 0},
        {-0.5, 0},
        {2147483647.9, INT32_MAX},
        {-2147483648.9, INT32_MIN},
        {2147483648.0, INT32_MAX},
        {-2147483649.0, INT32_MIN},
        {1e300, INT32_MAX},
        {-1e300, INT32_MIN},
        {infinity, INT32_MAX},
        {-infinity, INT32_MIN},
        {std::nan(""), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(truncateToInteger(c.value), c.result) << c.value;
}

}  // namespace

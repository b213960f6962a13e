#include "support/text_ops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>

#include "support/file_services.h"

namespace {

std::string n(int64_t value) {
    return std::to_string(value);
}

std::string parts(const std::string& name) {
    return pathPart(name) + "|" + filePart(name);
}

// The typed-number rule: the text, the range's ends, the value or "no".
TEST(TextOpsTest, TypedNumbersFollowOneRule) {
    // clang-format off
    const std::tuple<const char*, int64_t, int64_t, const char*> cases[] = {
        {"0", 0, 9, "0"}, {"4096", 0, 5000, "4096"}, {"+5", 0, 9, "5"}, {"-5", -9, 9, "-5"}, {"-0", 0, 9, "0"},
        {"$1f", 0, 99, "31"}, {"$1F", 0, 99, "31"}, {"0x1f", 0, 99, "31"}, {"0X1F", 0, 99, "31"}, {"$0", 0, 0, "0"},
        {"0x7fffffffffffffff", 0, INT64_MAX, "9223372036854775807"}, {"007", 0, 9, "7"},
        {"-9223372036854775808", INT64_MIN, 0, "-9223372036854775808"},
        {"", 0, 9, "no"}, {"$", 0, 9, "no"}, {"0x", 0, 9, "no"}, {"0X", 0, 9, "no"}, {"x5", 0, 9, "no"},
        {"-", -9, 9, "no"}, {"+", 0, 9, "no"}, {"+-5", -9, 9, "no"}, {"-$5", -9, 9, "no"}, {"$-5", -9, 9, "no"},
        {"0x-5", -9, 9, "no"}, {"$+5", 0, 9, "no"}, {"0x+5", 0, 9, "no"}, {" 5", 0, 9, "no"}, {"5 ", 0, 9, "no"},
        {"12x", 0, 99, "no"}, {"$1G", 0, 99, "no"}, {"1,000", 0, 9999, "no"}, {"5h", 0, 9, "no"},
        {"10", 0, 9, "no"}, {"-1", 0, 9, "no"}, {"9223372036854775808", 0, INT64_MAX, "no"},
        {"0x10000000000000000", 0, INT64_MAX, "no"},
    };
    // clang-format on
    for (const auto& [text, lowest, highest, expected] : cases) {
        int64_t value = 0;
        EXPECT_EQ(parseNumberText(text, lowest, highest, value) ? n(value) : "no", expected)
            << '"' << text << '"';
    }
}

TEST(TextOpsTest, Conversions) {
    const double infinity = std::numeric_limits<double>::infinity();
    const std::string abc = "abcdef", digits = "0123456789ABCDEF", two = "first\nsecond";
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {decimalText(0), "0"}, {decimalText(-100), "-100"}, {decimalText(7), "7"}, {decimalText(10), "10"},
        {decimalText(int64_t{INT32_MIN} - 1), "-2147483649"}, {decimalText(INT64_MAX), "9223372036854775807"},
        {decimalText(INT64_MIN), "-9223372036854775808"}, {binaryText(0), "0"}, {binaryText(5), "101"},
        {binaryText(256), "100000000"}, {binaryText(INT64_MAX), std::string(63, '1')},
        {binaryText(-1), std::string(64, '1')}, {binaryText(INT64_MIN), "1" + std::string(63, '0')},
        // Numbers read from text: blanks, a sign, then "$" hexadecimal, "%" binary or decimal digits.
        {n(textToNumber(" 42")), "42"}, {n(textToNumber("\t \t-17")), "-17"}, {n(textToNumber("+17")), "17"},
        {n(textToNumber("  -0")), "0"}, {n(textToNumber("007")), "7"}, {n(textToNumber("$FF")), "255"},
        {n(textToNumber("$aBc")), n(0xABC)}, {n(textToNumber("-$10")), "-16"},
        {n(textToNumber("+$10")), "16"}, {n(textToNumber("%101")), "5"}, {n(textToNumber("-%11")), "-3"},
        {n(textToNumber("%102")), "2"}, {n(textToNumber("%2")), "0"}, {n(textToNumber("12ab")), "12"},
        {n(textToNumber("0x10")), "0"}, {n(textToNumber("$12G4")), "18"}, {n(textToNumber("1 2")), "1"},
        {n(textToNumber("4.9")), "4"}, {n(textToNumber("")), "0"}, {n(textToNumber("$")), "0"},
        {n(textToNumber("%")), "0"}, {n(textToNumber("-")), "0"}, {n(textToNumber("x5")), "0"},
        {n(textToNumber("\n5")), "0"}, {n(textToNumber("- 5")), "0"}, {n(textToNumber("--5")), "0"},
        {n(textToNumber("$-5")), "0"}, {n(textToNumber("9223372036854775808")), n(INT64_MIN)},
        {n(textToNumber("18446744073709551615")), "-1"}, {n(textToNumber("18446744073709551616")), "0"},
        {n(textToNumber("$FFFFFFFFFFFFFFFF")), "-1"}, {n(textToNumber("$10000000000000005")), "5"},
        {n(textToNumber("-$8000000000000000")), n(INT64_MIN)},
        {n(textToNumber("$7fffffffffffffff")), n(INT64_MAX)}, {padLeft("101", 8, "0"), "00000101"},
        {padLeft("ab", 4, nullptr), "  ab"}, {padLeft("ab", 4, "xy"), "xxab"}, {padLeft("ab", 3, ""), " ab"},
        {padLeft("ab", 4), "  ab"}, {padLeft("abc", 3, "0"), "abc"},
        {padLeft("0123456789", 8, "0"), "01234567"}, {padLeft("abc", 0, "0"), ""},
        {padLeft("abc", -5, "0"), ""}, {padLeft("abc", INT64_MIN, "0"), ""}, {padLeft("", 2, "*"), "**"},
        {padLeft("a", (int64_t{1} << 30) + 1, "0"), ""}, {padLeft("a", INT64_MAX, "0"), ""},
        {reverseText(""), ""}, {reverseText("a"), "a"}, {reverseText("\xe9\xc9\xff\x01"), "\x01\xff\xc9\xe9"},
        {upperCase("3fa @[`{ azAZ\xe9\xff"), "3FA @[`{ AZAZ\xe9\xff"},
        {lowerCase("3fa @[`{ azAZ\xc9"), "3fa @[`{ azaz\xc9"}, {n(textLength("")), "0"},
        {n(textLength(std::string("a\0b", 3))), "3"}, {textField(two, 1, "\n"), "first"},
        {textField(two, 2, "\n"), "second"}, {textField(two, 3, "\n"), ""}, {textField(two, 0, "\n"), ""},
        {textField(two, -1, "\n"), ""}, {textField(two, INT64_MIN, "\n"), ""},
        {textField(two, INT64_MAX, "\n"), ""}, {textField("alone", 1, "\n"), "alone"},
        {textField("alone", 2, "\n"), ""}, {textField("a,,b,", 2, ","), ""},
        {textField("a,,b,", 3, ","), "b"}, {textField("a,,b,", 5, ","), ""}, {textField("", 1, ","), ""},
        {textField("a<>b<c>d", 2, "<>"), "b<c>d"}, {textField("a<>b<>c", 3, "<>"), "c"},
        {textField("aXYXYb", 2, "XY"), ""}, {textField("aXYXYb", 3, "XY"), "b"},
        {textField("aaa", 2, "aa"), "a"}, {textField("whole text", 1, ""), "whole text"},
        {textField("whole text", 2, ""), ""}, {midText(abc, 1, 3), "abc"}, {midText(abc, 2, 2), "bc"},
        {midText(abc, 4, 100), "def"}, {midText(abc, 6, 1), "f"}, {midText(abc, 7, 1), ""},
        {midText(abc, 0, 2), "ab"}, {midText(abc, INT64_MIN, 2), "ab"}, {midText(abc, 2, 0), ""},
        {midText(abc, 2, -1), ""}, {midText(abc, 2, INT64_MIN), ""}, {midText(abc, INT64_MAX, 5), ""},
        {midText(abc, 1, INT64_MAX), abc}, {midText(abc, 3), "cdef"}, {midText(abc, 6), "f"},
        {midText(abc, 7), ""}, {midText(abc, 0), abc}, {midText(abc, INT64_MIN), abc},
        {midText(abc, INT64_MAX), ""}, {n(findText(digits, "A")), "11"}, {n(findText(digits, "0")), "1"},
        {n(findText(digits, "EF")), "15"}, {n(findText(digits, "a")), "0"}, {n(findText(digits, "FG")), "0"},
        {n(findText("abab", "ab")), "1"}, {n(findText("abc", "abcd")), "0"}, {n(findText("", "a")), "0"},
        {n(findText("abc", "")), "0"}, {n(truncateToInteger(2.9)), "2"}, {n(truncateToInteger(-2.9)), "-2"},
        {n(truncateToInteger(-0.5)), "0"}, {n(truncateToInteger(2147483647.9)), n(INT32_MAX)},
        {n(truncateToInteger(-2147483648.9)), n(INT32_MIN)},
        {n(truncateToInteger(2147483648.0)), n(INT32_MAX)},
        {n(truncateToInteger(-2147483649.0)), n(INT32_MIN)}, {n(truncateToInteger(1e300)), n(INT32_MAX)},
        {n(truncateToInteger(-infinity)), n(INT32_MIN)}, {n(truncateToInteger(infinity)), n(INT32_MAX)},
        {n(truncateToInteger(std::nan(""))), "0"},
        // The folder part and the file part of a name.
        {parts("/home/user/data.bin"), "/home/user/|data.bin"}, {parts("data.bin"), "|data.bin"},
        {parts(""), "|"}, {parts("/"), "/|"}, {parts("dir/sub/"), "dir/sub/|"},
        {parts("dir\\x/y\\z"), "dir\\x/|y\\z"}, {parts("\"/quoted/name.bin\""), "/quoted/|name.bin"},
        {parts("\"plain.bin\""), "|plain.bin"}, {parts("\""), "|"}, {parts("/a/b|/c/d"), "/a/|d"},
        {parts("|/a/b"), "|b"}, {parts("\"/a/b.bin\" /c/"), "/a/b.bin\" /c/|"}, {parts("/a/x\"y"), "/a/|x"},
        {parts("//double//slash"), "//double//|slash"},
    };
    // clang-format on
    for (size_t row = 0; row < std::size(cases); ++row) EXPECT_EQ(cases[row].first, cases[row].second) << row;
}

}  // namespace

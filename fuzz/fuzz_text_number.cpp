// Text operations, typed numbers, and the byte count and file name typed for "Save binary...".
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_folder.h"
#include "support/text_ops.h"
#include "viewer/engine/data_buffer.h"

static int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
}

// -1 when the text is no count of at most 1 PiB (kLargestDataSize).
static int64_t modelCount(const std::string& text) {
    const bool hex = !text.empty() && text[0] == '$';
    int64_t value = 0;
    for (size_t i = hex ? 1 : 0; i < text.size(); ++i) {
        const int digit = digitValue(text[i]);
        if (digit >= (hex ? 16 : 10)) return -1;
        value = value * (hex ? 16 : 10) + digit;
        if (value > kLargestDataSize) return -1;
    }
    return value;
}

// Large widths are tried only where padLeft refuses them, so that a run stays fast.
static int64_t paddingWidth(int64_t raw) {
    return raw > 4096 && raw <= (int64_t{1} << 30) ? raw % 4096 : raw;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string whole(reinterpret_cast<const char*>(data), size);
    const SizeNumber count = parseSizeText(whole);
    const int64_t expected = modelCount(whole);
    check(count.ok == (expected >= 0) && count.value == (expected >= 0 ? expected : 0));
    const size_t slash = whole.rfind('/');
    const bool hasPoint = whole.find('.', slash == std::string::npos ? 0 : slash + 1) != std::string::npos;
    check(withBinExtension(whole) == (hasPoint ? whole : whole + ".bin"));

    int64_t number = textToNumber(whole);
    // A typed number reads as textToNumber reads it with "0x" written "$", and only in its own forms.
    int64_t typed = 0;
    if (parseNumberText(whole, INT64_MIN, INT64_MAX, typed)) {
        const bool prefixed = whole.size() > 2 && whole[0] == '0' && (whole[1] == 'x' || whole[1] == 'X');
        check(whole.find_first_of(" \t%") == std::string::npos);
        check(textToNumber(prefixed ? "$" + whole.substr(2) : whole) == typed);
    }
    check(parseNumberText(decimalText(number), INT64_MIN, INT64_MAX, typed) && typed == number);
    check(number == INT64_MIN || !parseNumberText(decimalText(number), INT64_MIN, number - 1, typed));
    check(textToNumber(decimalText(number)) == number);
    check(textToNumber("%" + binaryText(number)) == number);
    check(textToNumber(std::string(" \t") + (number >= 0 ? "+" : "") + decimalText(number)) == number);

    FuzzedDataProvider input(data, size);
    int64_t first = input.ConsumeIntegral<int64_t>();
    int64_t second = input.ConsumeIntegral<int64_t>();
    double real = input.ConsumeFloatingPoint<double>();
    std::string delimiter = input.ConsumeRandomLengthString(4);
    std::string pattern = input.ConsumeRandomLengthString(8);
    std::string text = input.ConsumeRemainingBytesAsString();

    int64_t width = paddingWidth(first);
    std::string padded = padLeft(text, width, pattern.c_str());
    check(static_cast<int64_t>(padded.size()) == (width <= 0 || width > (int64_t{1} << 30) ? 0 : width));

    std::string field = textField(text, first, delimiter);
    check(field.empty() || text.find(field) != std::string::npos);
    check(delimiter.empty() || field.find(delimiter) == std::string::npos);

    std::string middle = midText(text, first, second);
    check(middle.empty() || text.find(middle) != std::string::npos);
    check(second <= 0 || static_cast<uint64_t>(middle.size()) <= static_cast<uint64_t>(second));
    int64_t split = first < 1 ? 1 : (first > textLength(text) + 1 ? textLength(text) + 1 : first);
    check(midText(text, 1, split - 1) + midText(text, split) == text);

    int64_t position = findText(text, pattern);
    check(position == 0 || text.compare(static_cast<size_t>(position - 1), pattern.size(), pattern) == 0);

    check(reverseText(reverseText(text)) == text);
    check(lowerCase(upperCase(text)) == lowerCase(text));

    int32_t truncated = truncateToInteger(real);
    check(real != real || (real >= 0 ? truncated >= 0 : truncated <= 0));
    return 0;
}

// Number parsing and the text operations with arbitrary texts, positions and lengths.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_folder.h"
#include "support/text_ops.h"

namespace {

// Large widths are tried only where padLeft refuses them, so that a run stays fast.
int64_t paddingWidth(int64_t raw) {
    return raw > 4096 && raw <= (int64_t{1} << 30) ? raw % 4096 : raw;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The whole input is the number's text.
    int64_t number = textToNumber(std::string(reinterpret_cast<const char*>(data), size));
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

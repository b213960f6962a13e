#include "support/text_ops.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <new>
#include <stdexcept>

namespace {

// Wider padding is refused rather than asked of the allocator.
constexpr int64_t kLongestPadding = int64_t{1} << 30;

// The value of `byte` as a digit of `base` (2, 10 or 16), or -1.
int digitValue(char byte, int base) {
    int value = -1;
    if (byte >= '0' && byte <= '9') {
        value = byte - '0';
    } else if (byte >= 'a' && byte <= 'f') {
        value = byte - 'a' + 10;
    } else if (byte >= 'A' && byte <= 'F') {
        value = byte - 'A' + 10;
    }
    return value < base ? value : -1;
}

char upperByte(char byte) {
    return byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 'a' + 'A') : byte;
}

char lowerByte(char byte) {
    return byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte - 'A' + 'a') : byte;
}

}  // namespace

std::string decimalText(int64_t value) {
    // The magnitude in unsigned arithmetic, so that the smallest value needs no negation
    // in a signed type.
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    char digits[24];
    char* start = digits + sizeof digits;
    do {
        *--start = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--start = '-';
    return std::string(start, digits + sizeof digits);
}

int64_t textToNumber(const std::string& text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    int base = 10;
    if (at < text.size() && text[at] == '$') {
        base = 16;
        ++at;
    } else if (at < text.size() && text[at] == '%') {
        base = 2;
        ++at;
    }
    uint64_t value = 0;
    for (; at < text.size(); ++at) {
        int digit = digitValue(text[at], base);
        if (digit < 0) break;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    if (negative) value = 0 - value;
    return static_cast<int64_t>(value);
}

bool parseNumberText(const std::string& text, int64_t lowest, int64_t highest, int64_t& value) {
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    int base = 10;
    if (text.size() > 1 && text[0] == '$') {
        begin += 1;
        base = 16;
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        begin += 2;
        base = 16;
    } else if (begin != end && *begin == '+') {
        ++begin;
    }
    // from_chars takes a "-" by itself; after a prefix or a "+" it is no number.
    if (begin == end || *begin == '+' || (*begin == '-' && begin != text.data())) return false;
    int64_t parsed = 0;
    const auto [stop, error] = std::from_chars(begin, end, parsed, base);
    if (error != std::errc() || stop != end || parsed < lowest || parsed > highest) return false;
    value = parsed;
    return true;
}

std::string binaryText(int64_t value) {
    uint64_t bits = static_cast<uint64_t>(value);
    if (bits == 0) return "0";
    std::string digits;
    for (int bit = 63 - __builtin_clzll(bits); bit >= 0; --bit) digits += (bits >> bit) & 1 ? '1' : '0';
    return digits;
}

std::string padLeft(const std::string& text, int64_t width, const char* fill) {
    if (width <= 0 || width > kLongestPadding) return std::string();
    char fillByte = fill != nullptr && fill[0] != '\0' ? fill[0] : ' ';
    size_t kept = static_cast<uint64_t>(width) < text.size() ? static_cast<size_t>(width) : text.size();
    try {
        std::string padded(static_cast<uint64_t>(width) - kept, fillByte);
        padded.append(text, 0, kept);
        return padded;
    } catch (const std::bad_alloc&) {
        return std::string();
    } catch (const std::length_error&) {
        return std::string();
    }
}

std::string reverseText(const std::string& text) {
    return std::string(text.rbegin(), text.rend());
}

std::string textField(const std::string& text, int64_t index, const std::string& delimiter) {
    if (index <= 0) return std::string();
    if (delimiter.empty()) return index == 1 ? text : std::string();
    size_t start = 0;
    for (int64_t field = 1; field < index; ++field) {
        size_t found = text.find(delimiter, start);
        if (found == std::string::npos) return std::string();
        start = found + delimiter.size();
    }
    size_t end = text.find(delimiter, start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

int64_t textLength(const std::string& text) {
    return static_cast<int64_t>(text.size());
}

std::string midText(const std::string& text, int64_t start, int64_t length) {
    if (length <= 0) return std::string();
    uint64_t first = start <= 1 ? 0 : static_cast<uint64_t>(start) - 1;
    if (first >= text.size()) return std::string();
    return text.substr(static_cast<size_t>(first), static_cast<size_t>(length));
}

std::string midText(const std::string& text, int64_t start) {
    // The same as midText(text, start, textLength(text) - start + 1) without its overflow.
    return midText(text, start, INT64_MAX);
}

std::string upperCase(const std::string& text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), upperByte);
    return result;
}

std::string lowerCase(const std::string& text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), lowerByte);
    return result;
}

int64_t findText(const std::string& text, const std::string& pattern) {
    if (text.empty() || pattern.empty()) return 0;
    size_t found = text.find(pattern);
    return found == std::string::npos ? 0 : static_cast<int64_t>(found) + 1;
}

int32_t truncateToInteger(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0) return INT32_MAX;
    if (value <= -2147483649.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

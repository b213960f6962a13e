#include "viewer/engine/hex_text.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

namespace {

constexpr int64_t kBytesALine = 16;

// Offsets before the data (bytes written as 0) get a minus sign.
void appendOffset(std::string& text, int64_t offset) {
    char digits[24];
    const uint64_t magnitude = offset < 0 ? 0 - static_cast<uint64_t>(offset) : static_cast<uint64_t>(offset);
    std::snprintf(digits, sizeof digits, "%s%08" PRIX64, offset < 0 ? "-" : "", magnitude);
    text += digits;
    text += ' ';
}

}  // namespace

bool blockHexText(const DataBytes& data, const ByteBlock& block, SavedByteForm form, std::string& text) {
    text.clear();
    const int64_t end = byteBlockEnd(block);
    if (end == INT64_MAX || checkRange(block.first, end - block.first, data.size) != RangeCheck::Ok ||
        (data.bytes == nullptr && end > 0) || block.bytes > kLargestHexBlock ||
        block.rows > kLargestHexBlock || block.bytes * block.rows > kLargestHexBlock)
        return false;
    std::vector<uint8_t> row(static_cast<size_t>(block.bytes));
    constexpr char kDigits[] = "0123456789ABCDEF";
    int64_t lineBytes = 0, next = INT64_MIN;  // bytes on the line so far, the file offset after them
    for (int64_t r = 0; r < block.rows; ++r) {
        const int64_t rowFirst = block.first + r * block.stride;
        if (!copySavedBytes(row.data(), data, rowFirst, block.bytes, form)) {
            text.clear();
            return false;
        }
        for (int64_t n = 0; n < block.bytes; ++n) {
            if (lineBytes == kBytesALine || (lineBytes > 0 && next != rowFirst + n)) {
                text += '\n';
                lineBytes = 0;
            }
            if (lineBytes == 0) appendOffset(text, rowFirst + n);
            text += ' ';
            text += kDigits[row[static_cast<size_t>(n)] >> 4];
            text += kDigits[row[static_cast<size_t>(n)] & 15];
            ++lineBytes;
            next = rowFirst + n + 1;
        }
    }
    if (lineBytes > 0) text += '\n';
    return true;
}

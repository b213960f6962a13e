#include "viewer/engine/program_headers.h"

#include <algorithm>
#include <cstring>

namespace {

// Where an ELF header keeps a table's offset, entry size and entry count, in 32- and 64-bit files.
struct TableFields {
    int offset, offsetBytes, entrySize, count;
};
constexpr TableFields kProgramTable[2] = {{28, 4, 42, 44}, {32, 8, 54, 56}};
constexpr TableFields kSectionTable[2] = {{32, 4, 46, 48}, {40, 8, 58, 60}};
// The ELF header's own size in 32- and 64-bit files.
constexpr int64_t kHeaderBytes[2] = {52, 64};

uint64_t fieldAt(const uint8_t* data, int at, int bytes, bool bigEndian) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | data[bigEndian ? at + i : at + bytes - 1 - i];
    return value;
}

// The table's bytes, cut to the data; empty where it lies outside.
ByteRange tableRange(const uint8_t* data, int64_t size, const TableFields& f, bool bigEndian) {
    const uint64_t offset = fieldAt(data, f.offset, f.offsetBytes, bigEndian);
    const uint64_t bytes = fieldAt(data, f.entrySize, 2, bigEndian) * fieldAt(data, f.count, 2, bigEndian);
    const auto limit = static_cast<uint64_t>(size);
    const uint64_t first = std::min(offset, limit);
    return {static_cast<int64_t>(first), static_cast<int64_t>(first + std::min(bytes, limit - first))};
}

}  // namespace

std::vector<ByteRange> programHeaderRanges(const uint8_t* data, int64_t size) {
    if (data == nullptr || size < kHeaderBytes[1] ||
        std::memcmp(data,
                    "\x7F"
                    "ELF",
                    4) != 0)
        return {};
    const int bits64 = data[4] == 2;
    const bool bigEndian = data[5] == 2;
    std::vector<ByteRange> ranges = {{0, kHeaderBytes[bits64]}};
    for (const TableFields& table : {kProgramTable[bits64], kSectionTable[bits64]}) {
        const ByteRange range = tableRange(data, size, table, bigEndian);
        if (range.end > range.first) ranges.push_back(range);
    }
    return ranges;
}

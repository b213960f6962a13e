#include "viewer/engine/program_headers.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

// Where an ELF header keeps a table's offset, entry size and entry count, in 32- and 64-bit files.
struct TableFields {
    int offset, offsetBytes, entrySize, count;
};
constexpr TableFields kProgramTable[2] = {{28, 4, 42, 44}, {32, 8, 54, 56}};
constexpr TableFields kSectionTable[2] = {{32, 4, 46, 48}, {40, 8, 58, 60}};
// The ELF header's own size in 32- and 64-bit files.
constexpr int64_t kHeaderBytes[2] = {52, 64};
// Where the header names the section that holds the sections' names.
constexpr int kNamesSectionField[2] = {50, 62};

// Where a section header keeps its name, type, flags, offset and size, in 32- and 64-bit files.
struct SectionFields {
    int name, type, flags, offset, size, wordBytes, entryBytes;
};
constexpr SectionFields kSection[2] = {{0, 4, 8, 16, 20, 4, 40}, {0, 4, 8, 24, 32, 8, 64}};

constexpr uint64_t kNoBits = 8;  // a section without bytes in the file, such as .bss
constexpr uint64_t kExecutable = 4;
// Section types of symbols, strings, relocations, hashes, notes, pointer arrays and the GNU
// versions: none holds a picture. Program data is PROGBITS (1), told by its flags or name.
bool typeHoldsNoPicture(uint64_t type) {
    return (type >= 2 && type <= 7) || (type >= 9 && type <= 19) ||
           (type >= 0x6FFFFFF0 && type <= 0x6FFFFFFF) || type == 0x70000001;  // x86-64 unwinding tables
}

// Program data that the toolchains fill with tables of their own: unwinding, exceptions, debugging,
// the global offset table, pointers to be relocated, Go's function and type tables.
bool nameHoldsNoPicture(std::string_view name) {
    for (const std::string_view prefix : {".debug", ".zdebug", ".gnu.debug"})
        if (name.starts_with(prefix)) return true;
    for (const std::string_view whole :
         {".eh_frame", ".eh_frame_hdr", ".gcc_except_table", ".got", ".got.plt", ".data.rel.ro", ".comment",
          ".gopclntab", ".gosymtab", ".typelink", ".itablink", ".go.buildinfo"})
        if (name == whole) return true;
    return false;
}

uint64_t fieldAt(const uint8_t* data, int64_t at, int bytes, bool bigEndian) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | data[bigEndian ? at + i : at + bytes - 1 - i];
    return value;
}

// [offset, offset + bytes) cut to the data.
ByteRange rangeWithin(uint64_t offset, uint64_t bytes, int64_t size) {
    const auto limit = static_cast<uint64_t>(size);
    const uint64_t first = std::min(offset, limit);
    return {static_cast<int64_t>(first), static_cast<int64_t>(first + std::min(bytes, limit - first))};
}

// The table's bytes, cut to the data; empty where it lies outside.
ByteRange tableRange(const uint8_t* data, int64_t size, const TableFields& f, bool bigEndian) {
    return rangeWithin(fieldAt(data, f.offset, f.offsetBytes, bigEndian),
                       fieldAt(data, f.entrySize, 2, bigEndian) * fieldAt(data, f.count, 2, bigEndian), size);
}

bool isElf(const uint8_t* data, int64_t size) {
    return data != nullptr && size >= kHeaderBytes[1] &&
           std::memcmp(data,
                       "\x7F"
                       "ELF",
                       4) == 0;
}

// A section's header as read, its bytes cut to the data.
struct Section {
    uint64_t name, type, flags;
    ByteRange bytes;
};

// The section table's entries that lie wholly within the data.
std::vector<Section> sections(const uint8_t* data, int64_t size, int bits64, bool bigEndian) {
    const SectionFields& f = kSection[bits64];
    const TableFields& t = kSectionTable[bits64];
    if (fieldAt(data, t.entrySize, 2, bigEndian) != static_cast<uint64_t>(f.entryBytes)) return {};
    const uint64_t table = fieldAt(data, t.offset, t.offsetBytes, bigEndian);
    const uint64_t count = fieldAt(data, t.count, 2, bigEndian);
    std::vector<Section> found;
    for (uint64_t i = 0; i < count; ++i) {
        if (table > static_cast<uint64_t>(size) || (static_cast<uint64_t>(size) - table) / f.entryBytes <= i)
            break;
        const auto at = static_cast<int64_t>(table + i * f.entryBytes);
        found.push_back({fieldAt(data, at + f.name, 4, bigEndian), fieldAt(data, at + f.type, 4, bigEndian),
                         fieldAt(data, at + f.flags, f.wordBytes, bigEndian),
                         rangeWithin(fieldAt(data, at + f.offset, f.wordBytes, bigEndian),
                                     fieldAt(data, at + f.size, f.wordBytes, bigEndian), size)});
    }
    return found;
}

// The section's name, from the section of names; empty where it lies outside them.
std::string_view nameOf(const uint8_t* data, const Section& section, const ByteRange& names) {
    if (section.name >= static_cast<uint64_t>(names.end - names.first)) return {};
    const auto first = names.first + static_cast<int64_t>(section.name);
    const auto* start = reinterpret_cast<const char*>(data + first);
    const void* nul = std::memchr(start, 0, static_cast<size_t>(names.end - first));
    return nul == nullptr ? std::string_view{}
                          : std::string_view(start, static_cast<const char*>(nul) - start);
}

bool holdsNoPicture(const Section& section, std::string_view name) {
    if (section.type == kNoBits) return false;
    return typeHoldsNoPicture(section.type) || (section.flags & kExecutable) != 0 || nameHoldsNoPicture(name);
}

}  // namespace

std::vector<ByteRange> programHeaderRanges(const uint8_t* data, int64_t size) {
    if (!isElf(data, size)) return {};
    const int bits64 = data[4] == 2;
    const bool bigEndian = data[5] == 2;
    std::vector<ByteRange> ranges = {{0, kHeaderBytes[bits64]}};
    for (const TableFields& table : {kProgramTable[bits64], kSectionTable[bits64]}) {
        const ByteRange range = tableRange(data, size, table, bigEndian);
        if (range.end > range.first) ranges.push_back(range);
    }
    return ranges;
}

std::vector<ByteRange> pictureFreeRanges(const uint8_t* data, int64_t size) {
    std::vector<ByteRange> ranges = programHeaderRanges(data, size);
    if (ranges.empty()) return ranges;
    const int bits64 = data[4] == 2;
    const bool bigEndian = data[5] == 2;
    const std::vector<Section> all = sections(data, size, bits64, bigEndian);
    const uint64_t namesIndex = fieldAt(data, kNamesSectionField[bits64], 2, bigEndian);
    const ByteRange names = namesIndex < all.size() ? all[namesIndex].bytes : ByteRange{0, 0};
    for (const Section& section : all)
        if (section.bytes.end > section.bytes.first && holdsNoPicture(section, nameOf(data, section, names)))
            ranges.push_back(section.bytes);
    std::sort(ranges.begin(), ranges.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.first < b.first; });
    std::vector<ByteRange> merged;
    for (const ByteRange& r : ranges) {
        if (!merged.empty() && r.first <= merged.back().end)
            merged.back().end = std::max(merged.back().end, r.end);
        else
            merged.push_back(r);
    }
    return merged;
}

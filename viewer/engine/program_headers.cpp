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

// How an ELF file lays out its fields: 32 or 64 bits (0 or 1), and in which byte order.
struct ElfShape {
    int bits64;
    bool bigEndian;
};

bool isElf(const uint8_t* data, int64_t size, ElfShape& shape) {
    if (data == nullptr || size < kHeaderBytes[1] ||
        std::memcmp(data,
                    "\x7F"
                    "ELF",
                    4) != 0)
        return false;
    shape = {data[4] == 2, data[5] == 2};
    return true;
}

// Where each entry of the table lies, for the entries wholly within the data; none when the
// header gives another entry size than `entryBytes`.
std::vector<int64_t> tableEntries(const uint8_t* data, int64_t size, const TableFields& t, int entryBytes,
                                  bool bigEndian) {
    if (fieldAt(data, t.entrySize, 2, bigEndian) != static_cast<uint64_t>(entryBytes)) return {};
    const uint64_t table = fieldAt(data, t.offset, t.offsetBytes, bigEndian);
    const uint64_t count = fieldAt(data, t.count, 2, bigEndian);
    std::vector<int64_t> entries;
    for (uint64_t i = 0; i < count; ++i) {
        if (table > static_cast<uint64_t>(size) || (static_cast<uint64_t>(size) - table) / entryBytes <= i)
            break;
        entries.push_back(static_cast<int64_t>(table + i * entryBytes));
    }
    return entries;
}

// Where a program header keeps its type, load address and size in memory, in 32- and 64-bit files.
struct SegmentFields {
    int type, address, memoryBytes, wordBytes, entryBytes;
};
constexpr SegmentFields kSegment[2] = {{0, 8, 20, 4, 32}, {0, 16, 40, 8, 56}};
constexpr uint64_t kLoad = 1;

std::vector<AddressRange> loadedRanges(const uint8_t* data, int64_t size, const ElfShape& shape) {
    const SegmentFields& f = kSegment[shape.bits64];
    std::vector<AddressRange> loaded;
    for (const int64_t at :
         tableEntries(data, size, kProgramTable[shape.bits64], f.entryBytes, shape.bigEndian)) {
        if (fieldAt(data, at + f.type, 4, shape.bigEndian) != kLoad) continue;
        const uint64_t first = fieldAt(data, at + f.address, f.wordBytes, shape.bigEndian);
        const uint64_t bytes = fieldAt(data, at + f.memoryBytes, f.wordBytes, shape.bigEndian);
        if (bytes > 0) loaded.push_back({first, first + std::min(bytes, UINT64_MAX - first)});
    }
    return loaded;
}

std::vector<ByteRange> headerRanges(const uint8_t* data, int64_t size, const ElfShape& shape) {
    std::vector<ByteRange> ranges = {{0, kHeaderBytes[shape.bits64]}};
    for (const TableFields& table : {kProgramTable[shape.bits64], kSectionTable[shape.bits64]}) {
        const ByteRange range = tableRange(data, size, table, shape.bigEndian);
        if (range.end > range.first) ranges.push_back(range);
    }
    return ranges;
}

// A section's header as read, its bytes cut to the data.
struct Section {
    uint64_t name, type, flags;
    ByteRange bytes;
};

// The section table's entries that lie wholly within the data.
std::vector<Section> sections(const uint8_t* data, int64_t size, const ElfShape& shape) {
    const SectionFields& f = kSection[shape.bits64];
    const bool bigEndian = shape.bigEndian;
    std::vector<Section> found;
    for (const int64_t at : tableEntries(data, size, kSectionTable[shape.bits64], f.entryBytes, bigEndian))
        found.push_back({fieldAt(data, at + f.name, 4, bigEndian), fieldAt(data, at + f.type, 4, bigEndian),
                         fieldAt(data, at + f.flags, f.wordBytes, bigEndian),
                         rangeWithin(fieldAt(data, at + f.offset, f.wordBytes, bigEndian),
                                     fieldAt(data, at + f.size, f.wordBytes, bigEndian), size)});
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

// A word that points into the program: small values and multiples of 64 KiB are left out, as a
// picture's sparse bytes make them.
bool pointsIntoProgram(uint64_t value, const std::vector<AddressRange>& loaded) {
    if (value < 0x10000 || (value & 0xFFFF) == 0) return false;
    return std::any_of(loaded.begin(), loaded.end(),
                       [&](const AddressRange& r) { return value >= r.first && value < r.end; });
}

}  // namespace

std::vector<ByteRange> programHeaderRanges(const uint8_t* data, int64_t size) {
    ElfShape shape{};
    return isElf(data, size, shape) ? headerRanges(data, size, shape) : std::vector<ByteRange>{};
}

ProgramLayout programLayout(const uint8_t* data, int64_t size) {
    ElfShape shape{};
    if (!isElf(data, size, shape)) return {};
    std::vector<ByteRange> ranges = headerRanges(data, size, shape);
    const std::vector<Section> all = sections(data, size, shape);
    const uint64_t namesIndex = fieldAt(data, kNamesSectionField[shape.bits64], 2, shape.bigEndian);
    const ByteRange names = namesIndex < all.size() ? all[namesIndex].bytes : ByteRange{0, 0};
    for (const Section& section : all)
        if (section.bytes.end > section.bytes.first && holdsNoPicture(section, nameOf(data, section, names)))
            ranges.push_back(section.bytes);
    std::sort(ranges.begin(), ranges.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.first < b.first; });
    ProgramLayout layout{{}, loadedRanges(data, size, shape), shape.bits64 ? 8 : 4, shape.bigEndian};
    for (const ByteRange& r : ranges) {
        if (!layout.pictureFree.empty() && r.first <= layout.pictureFree.back().end)
            layout.pictureFree.back().end = std::max(layout.pictureFree.back().end, r.end);
        else
            layout.pictureFree.push_back(r);
    }
    return layout;
}

bool holdsProgramTable(const uint8_t* data, int64_t first, int64_t length, int64_t rowBytes,
                       const ProgramLayout& layout) {
    if (layout.pointerBytes == 0 || length <= 0) return false;
    const int64_t end = first + length;
    const bool bigEndian = layout.bigEndian;
    // A program's words lie at multiples of their size in the file as in memory.
    const int64_t p = layout.pointerBytes;
    int64_t words = 0, pointers = 0;
    for (int64_t at = (first + p - 1) / p * p; at <= end - p; at += p, ++words)
        pointers += pointsIntoProgram(fieldAt(data, at, static_cast<int>(p), bigEndian), layout.loaded);
    if (words > 0 && pointers * 20 >= words * 3) return true;
    // In rows of 2, 6, 10... bytes a picture's even and odd columns fall on the words' low and high
    // bytes (fonts two bytes wide have their right half mostly blank).
    if (rowBytes % 4 == 2) return false;
    int64_t numbers = 0, flatTops = 0, flatLows = 0;
    for (int64_t at = (first + 3) / 4 * 4; at <= end - 4; at += 4, ++numbers) {
        const uint8_t top = data[at + (bigEndian ? 0 : 3)], low = data[at + (bigEndian ? 3 : 0)];
        flatTops += top == 0 || top == 0xFF;
        flatLows += low == 0 || low == 0xFF;
    }
    return numbers > 0 && flatTops * 10 >= numbers * 9 && flatLows * 10 <= numbers * 4;
}

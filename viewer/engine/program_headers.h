// Where a program file keeps what never holds a picture: an ELF file's own header, its tables of
// program and section headers, and the sections its section table names as code, symbols, strings,
// relocations, unwinding and debugging tables. Their records line up as a picture's rows do.
#pragma once

#include <cstdint>
#include <vector>

struct ByteRange {
    int64_t first, end;
};

// Addresses [first, end) at which a program's segment is loaded.
struct AddressRange {
    uint64_t first, end;
};

// What an ELF file tells of itself: the ranges that hold no picture (its headers and the sections
// that hold none), sorted and merged, each within [0, size); where its segments are loaded; and how
// it stores a pointer. Nothing for any other data.
struct ProgramLayout {
    std::vector<ByteRange> pictureFree;
    std::vector<AddressRange> loaded;
    int pointerBytes = 0;  // 4 or 8; 0 for data that is no ELF file
    bool bigEndian = false;
};

// The headers of the data when it is an ELF file (32 or 64 bits, either byte order), each range
// within [0, size); none for any other data.
std::vector<ByteRange> programHeaderRanges(const uint8_t* data, int64_t size);

ProgramLayout programLayout(const uint8_t* data, int64_t size);

// Whether data[first, first + length) of the program is a table of its own rather than a picture
// whose rows are rowBytes long: records of pointers into the program's loaded segments, or of
// small 32-bit numbers (their top byte 0, or 0xFF for the negative ones, while their low byte varies).
// Pictures have neither; data in [0, size) only.
bool holdsProgramTable(const uint8_t* data, int64_t first, int64_t length, int64_t rowBytes,
                       const ProgramLayout& layout);

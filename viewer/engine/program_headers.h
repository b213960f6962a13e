// Where a program file keeps what never holds a picture: an ELF file's own header, its tables of
// program and section headers, and the sections its section table names as code, symbols, strings,
// relocations, unwinding and debugging tables. Their records line up as a picture's rows do.
#pragma once

#include <cstdint>
#include <vector>

struct ByteRange {
    int64_t first, end;
};

// The headers of the data when it is an ELF file (32 or 64 bits, either byte order), each range
// within [0, size); none for any other data.
std::vector<ByteRange> programHeaderRanges(const uint8_t* data, int64_t size);

// The headers and the sections that hold no picture, sorted and merged, each within [0, size); none
// for data that is no ELF file.
std::vector<ByteRange> pictureFreeRanges(const uint8_t* data, int64_t size);

// Where a program file keeps its headers: an ELF file's own header and its tables of program and
// section headers. Their fields line up as records do, but they never hold a picture.
#pragma once

#include <cstdint>
#include <vector>

struct ByteRange {
    int64_t first, end;
};

// The headers of the data when it is an ELF file (32 or 64 bits, either byte order), each range
// within [0, size); none for any other data.
std::vector<ByteRange> programHeaderRanges(const uint8_t* data, int64_t size);

// The DataBuffer: loading a whole file, the typed byte count of "Save binary...",
// and writing a byte range with the display options applied.
#pragma once

#include <cstdint>
#include <string>

// The largest file that fits the 32-bit dataSize: 2 GiB - 1 bytes.
constexpr int64_t kLargestDataFile = INT32_MAX;

enum class LoadResult {
    Ok,
    Memory,   // no block of dataSize + 16 bytes
    Open,     // missing, a folder, not a regular file (FIFO, device), or cannot be opened
    Read,     // nothing could be read (an empty file included), or a read failed
    TooLarge  // 2 GiB or more; refused before any memory is taken
};

// Frees the old buffer, then reads the file whole into a new zero-padded one
// and notes its name and folder. On any failure nothing is loaded afterwards.
// The data is what the read delivered: a file that came up shorter than its size (cut
// while it was read) loads with the bytes there were, the buffer still 16 zero bytes longer.
LoadResult loadDataFile(const std::string& fileName);

// Releases the buffer; afterwards nothing is loaded (dataSize 0).
void freeDataBuffer();

// The name leads to the file the loaded data was read from (through any path or link).
bool isLoadedFile(const std::string& name);

// Decimal digits, or hexadecimal digits (either case) after a leading "$".
// Sets viewerState.convertOk: 0 (and result 0) for any other character, and
// for a count above 2147483647, which would not fit 32 bits.
int32_t parseSizeText(const std::string& text);

enum class RangeCheck { Ok, TooBig };

// TooBig when first + size > dataSize (formed without overflow).
RangeCheck checkRange(int64_t first, int64_t size);

// Writes size bytes from first through file number 0: bytes before the data
// are 0; others are XORed with 0xFF when inverse is on, then bit-reversed
// when reverseByte is on (nibble swap is not applied). Refuses a range that
// fails checkRange. 1 when the file was written completely, 0 otherwise (no
// file is left behind then).
int writeBinaryRange(const std::string& name, int64_t first, int64_t size);

// `rows` rows of `bytes` bytes each, a row starting `stride` bytes after the one above: a
// sprite, or a rectangle of the view.
struct ByteBlock {
    int64_t first;
    int64_t bytes;
    int64_t stride;
    int64_t rows;
};

// One past the last byte of the block; INT64_MAX for a block with negative or huge sizes.
int64_t byteBlockEnd(const ByteBlock& block);

// The rows of the block one after the other, each as writeBinaryRange writes a range.
// Refuses a block that reaches past the data. 1 when the file was written completely.
int writeByteBlock(const std::string& name, const ByteBlock& block);

// The name unchanged when its last part (after the last "/") holds a ".",
// otherwise the name followed by ".bin".
std::string withBinExtension(const std::string& name);

// The DataBuffer: loading a whole file, the typed byte count of "Save binary...",
// and writing a byte range with the display options applied.
#pragma once

#include <cstdint>
#include <string>

#include "support/file_services.h"
#include "support/mapped_file.h"
#include "viewer/engine/data_bytes.h"

// Files from this size on are mapped, not read: their bytes are read as the view first
// touches them.
constexpr int64_t kMappedFileSize = int64_t{1} << 20;
// The most bytes read from a pipe, a device or a file that reports no size (1 GiB).
constexpr int64_t kLargestStream = int64_t{1} << 30;

enum class LoadResult {
    Ok,
    Memory,    // no block of dataSize + 16 bytes
    Open,      // missing, a folder, or cannot be opened
    Denied,    // the user may not read it, or may not enter a folder on its way
    Read,      // nothing could be read (an empty file included), or a read failed
    TooLarge,  // over kLargestDataSize; refused before any memory is taken
    TooLong    // a stream that ran past kLargestStream bytes
};

// A data file's bytes, followed by at least 16 zero bytes: a small file read whole into a block,
// a larger one mapped, a stream read to its end.
struct DataFile {
    const uint8_t* bytes = nullptr;  // nullptr: nothing loaded
    int64_t size = 0;
    std::string name;       // the file part of the name it was loaded by
    FileIdentity identity;  // the file it was read from, which no save may replace
    MappedFile mapped;      // what holds the bytes unless they were read into a block
};

struct DataLoad {
    LoadResult result;
    DataFile file;  // holds nothing unless result is Ok
};

// Loads the file: below kMappedFileSize read whole into a new zero-padded block, where the data
// is what the read delivered (a file cut while it was read loads with the bytes there were);
// from that size on mapped; a pipe, a device or a file that reports no size read to its end.
DataLoad loadDataFile(const std::string& fileName);

// Releases the bytes; afterwards the record holds nothing.
void freeDataFile(DataFile& file);

// The bytes of the loaded data that its file still holds: fewer than its size once another
// program has cut a mapped file short.
int64_t dataBytesPresent(const DataFile& file);

// The bytes of the record.
inline DataBytes dataBytes(const DataFile& file) {
    return {file.bytes, file.size};
}

// Keeps the memory a mapped file takes near what is looked at: once the view has moved more than
// kKeptAroundView from where the pages were last let go, the pages further than that from the
// view's first byte are let go. Returns where they were let go around (`around` when unchanged).
constexpr int64_t kKeptAroundView = int64_t{32} << 20;
int64_t releaseBytesAwayFrom(const DataFile& file, int64_t viewFirst, int64_t around);

// The name leads to the file `loaded` identifies (through any path or link).
bool isLoadedFile(const std::string& name, const FileIdentity& loaded);

struct SizeNumber {
    int64_t value;
    bool ok;
};

// Decimal digits, or hexadecimal digits (either case) after a leading "$". Not ok (and value
// 0) for any other character, and for a count above kLargestDataSize, which no data reaches.
SizeNumber parseSizeText(const std::string& text);

enum class RangeCheck { Ok, TooBig };

// TooBig when first + size > dataSize (formed without overflow).
RangeCheck checkRange(int64_t first, int64_t size, int64_t dataSize);

// The display options a saved byte follows: a saved byte keeps its nibbles in place.
struct SavedByteForm {
    bool inverse = false;
    bool reverseByte = false;
};

// Writes size bytes from first through file number 0: bytes before the data
// are 0; others are XORed with 0xFF when inverse is on, then bit-reversed
// when reverseByte is on. Refuses a range that fails checkRange. 1 when the
// file was written completely, 0 otherwise (no file is left behind then, also
// when bytes of a mapped file vanish while they are read).
int writeBinaryRange(const std::string& name, const DataBytes& data, int64_t first, int64_t size,
                     SavedByteForm form);

// The bytes from start (which may lie before the data: those are 0) as a save writes them. The
// range must end inside the data. False when bytes of a mapped file vanished while read.
bool copySavedBytes(uint8_t* to, const DataBytes& data, int64_t start, int64_t length, SavedByteForm form);

// `rows` rows of `bytes` bytes each, a row starting `stride` bytes after the one above: a
// sprite, or a rectangle of the view.
struct ByteBlock {
    int64_t first;
    int64_t bytes;
    int64_t stride;
    int64_t rows;
};

// One past the last byte of the block; INT64_MAX for a block with negative sizes or one that
// reaches past kLargestDataSize.
int64_t byteBlockEnd(const ByteBlock& block);

// The rows of the block one after the other, each as writeBinaryRange writes a range.
// Refuses a block that reaches past the data. 1 when the file was written completely.
int writeByteBlock(const std::string& name, const DataBytes& data, const ByteBlock& block,
                   SavedByteForm form);

// The name unchanged when its last part (after the last "/") holds a ".",
// otherwise the name followed by ".bin".
std::string withBinExtension(const std::string& name);

#include "viewer/engine/data_buffer.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "support/file_services.h"
#include "support/text_ops.h"
#include "viewer/engine/pixel_decoding.h"

namespace {

constexpr int kDataFile = 0;
constexpr int kBufferPadding = 16;

// The saved form of count data bytes in place, through a table of the display transform without
// its nibble swap (a saved byte keeps its nibbles in place).
void toSavedBytes(uint8_t* bytes, int64_t count, const std::array<uint8_t, 256>& saved) {
    for (int64_t n = 0; n < count; ++n) bytes[n] = saved[bytes[n]];
}

DataLoad failLoad(uint8_t* block, LoadResult result) {
    freeMemory(block);
    return {result, DataFile{}};
}

LoadResult cannotOpen(const std::string& fileName) {
    return isReadDenied(fileName) ? LoadResult::Denied : LoadResult::Open;
}

DataLoad loadedFrom(const std::string& fileName, const MappedFile& held) {
    return {LoadResult::Ok,
            DataFile{held.bytes, held.size, filePart(fileName), fileIdentity(fileName), held}};
}

// A file of known size below kMappedFileSize, read whole.
DataLoad readDataFile(const std::string& fileName, int64_t size) {
    uint8_t* const block = allocateMemory(size + kBufferPadding);
    if (block == nullptr) return {LoadResult::Memory, DataFile{}};
    if (!openFileForReading(kDataFile, fileName)) return failLoad(block, cannotOpen(fileName));
    const int64_t delivered = readData(kDataFile, block, size);
    closeFile(kDataFile);
    if (delivered <= 0) return failLoad(block, LoadResult::Read);
    // Bytes past what was read are the block's zeros: they are not data.
    return {LoadResult::Ok, DataFile{block, delivered, filePart(fileName), fileIdentity(fileName), {}}};
}

}  // namespace

DataLoad loadDataFile(const std::string& fileName) {
    const int64_t size = fileSize(fileName);
    if (size < 0) return {cannotOpen(fileName), DataFile{}};
    if (size > kLargestDataSize) return {LoadResult::TooLarge, DataFile{}};
    // Opened without waiting for a pipe's writer.
    const OpenedSource source = openDataSource(fileName.c_str());
    if (source.descriptor < 0) return {cannotOpen(fileName), DataFile{}};
    if (source.regular && source.size >= kMappedFileSize) {
        const MappedFile mapped = mapFile(source.descriptor, source.size);
        if (mapped.bytes == nullptr) return {LoadResult::Memory, DataFile{}};
        return loadedFrom(fileName, mapped);
    }
    if (!source.regular || source.size == 0) {
        bool tooLong = false;
        const MappedFile read = readStream(source.descriptor, kLargestStream, tooLong);
        if (read.bytes == nullptr) return {tooLong ? LoadResult::TooLong : LoadResult::Read, DataFile{}};
        return loadedFrom(fileName, read);
    }
    closeSource(source);
    return readDataFile(fileName, source.size);
}

void freeDataFile(DataFile& file) {
    if (file.mapped.bytes != nullptr) {
        unmapFile(file.mapped);
    } else {
        freeMemory(const_cast<uint8_t*>(file.bytes));
    }
    file = DataFile{};
}

int64_t dataBytesPresent(const DataFile& file) {
    return file.mapped.bytes != nullptr ? mappedBytesPresent(file.mapped) : file.size;
}

int64_t releaseBytesAwayFrom(const DataFile& file, int64_t viewFirst, int64_t around) {
    if (file.mapped.bytes == nullptr || std::abs(viewFirst - around) <= kKeptAroundView) return around;
    releaseMappedPages(file.mapped, viewFirst - kKeptAroundView, viewFirst + kKeptAroundView);
    return viewFirst;
}

bool isLoadedFile(const std::string& name, const FileIdentity& loaded) {
    return isSameFile(fileIdentity(name), loaded);
}

SizeNumber parseSizeText(const std::string& text) {
    std::string digitsOf = upperCase(text);
    int64_t base = 10;
    std::string digits = "0123456789";
    if (!digitsOf.empty() && digitsOf[0] == '$') {
        base = 16;
        digits = "0123456789ABCDEF";
        digitsOf = midText(digitsOf, 2);
    }
    int64_t value = 0;
    for (char c : digitsOf) {
        const int64_t position = findText(digits, std::string(1, c));
        // The count is checked as it grows, so it never wraps.
        if (position == 0 || value * base + (position - 1) > kLargestDataSize) return {0, false};
        value = value * base + (position - 1);
    }
    return {value, true};
}

RangeCheck checkRange(int64_t first, int64_t size, int64_t dataSize) {
    int64_t end = 0;
    if (__builtin_add_overflow(first, size, &end) || end > dataSize) return RangeCheck::TooBig;
    return RangeCheck::Ok;
}

int writeBinaryRange(const std::string& name, const DataBytes& data, int64_t first, int64_t size,
                     SavedByteForm form) {
    return writeByteBlock(name, data, ByteBlock{first, size, size, 1}, form);
}

bool copySavedBytes(uint8_t* to, const DataBytes& data, int64_t start, int64_t length, SavedByteForm form) {
    if (length <= 0) return true;
    // Bytes before the data are 0, without the inverse.
    const int64_t zeros = std::clamp<int64_t>(-start, 0, length);
    std::fill(to, to + zeros, uint8_t{0});
    if (zeros == length) return true;
    if (!copyMappedBytes(to + zeros, data.bytes + start + zeros, length - zeros)) return false;
    toSavedBytes(to + zeros, length - zeros, transformTable(form.inverse, form.reverseByte, false));
    return true;
}

int64_t byteBlockEnd(const ByteBlock& block) {
    if (block.bytes < 0 || block.rows < 1 || block.stride < 0 || block.bytes > kLargestDataSize ||
        block.stride > kLargestDataSize || block.first < -kLargestDataSize || block.first > kLargestDataSize)
        return INT64_MAX;
    int64_t span = 0;
    if (__builtin_mul_overflow(block.rows - 1, block.stride, &span) || span > kLargestDataSize)
        return INT64_MAX;
    return block.first + span + block.bytes;
}

int writeByteBlock(const std::string& name, const DataBytes& data, const ByteBlock& block,
                   SavedByteForm form) {
    const int64_t end = byteBlockEnd(block);
    if (end == INT64_MAX || checkRange(block.first, end - block.first, data.size) != RangeCheck::Ok) return 0;
    if (data.bytes == nullptr && end > 0) return 0;
    // The bytes are made a block at a time and handed on as a run of single bytes: the file
    // gets them in the pieces one writeByte each would give, without a call per byte.
    constexpr int64_t kBlockSize = 16 * kFileBufferSize;
    uint8_t* const buffer = allocateMemory(kBlockSize);
    if (buffer == nullptr) return 0;
    if (!createFile(kDataFile, name)) {
        freeMemory(buffer);
        return 0;
    }
    bool taken = true;
    bool intact = true;  // no byte vanished from a mapped file while it was read
    for (int64_t row = 0; row < block.rows && taken; ++row) {
        const int64_t rowFirst = block.first + row * block.stride;
        for (int64_t done = 0; done < block.bytes && taken;) {
            const int64_t length = std::min(block.bytes - done, kBlockSize);
            intact = copySavedBytes(buffer, data, rowFirst + done, length, form);
            taken = intact && writeByteRun(kDataFile, buffer, length) == length;
            done += length;
        }
    }
    freeMemory(buffer);
    if (!intact) {
        discardFile(kDataFile);
        return 0;
    }
    return closeFile(kDataFile) != 0 && taken ? 1 : 0;
}

std::string withBinExtension(const std::string& name) {
    for (size_t i = name.size(); i-- > 0;) {
        if (name[i] == '.') return name;
        if (name[i] == '/') break;
    }
    return name + ".bin";
}

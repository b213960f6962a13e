#include "graphics/bmp_writer.h"

#include <cstdlib>
#include <cstring>

#include "graphics/images.h"
#include "graphics/save_flags.h"
#include "support/safe_file.h"

namespace {

constexpr int kFileHeaderBytes = 14;
constexpr int kInfoHeaderBytes = 40;
constexpr int kPixelOffset = kFileHeaderBytes + kInfoHeaderBytes;

void putLittleEndian(uint8_t* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void fillHeaders(uint8_t* header, int width, int height, int outputDepth, uint32_t imageBytes) {
    std::memset(header, 0, kPixelOffset);
    header[0] = 'B';
    header[1] = 'M';
    putLittleEndian(header + 2, kPixelOffset + imageBytes, 4);
    putLittleEndian(header + 10, kPixelOffset, 4);
    putLittleEndian(header + 14, kInfoHeaderBytes, 4);
    putLittleEndian(header + 18, static_cast<uint32_t>(width), 4);
    putLittleEndian(header + 22, static_cast<uint32_t>(height), 4);
    putLittleEndian(header + 26, 1, 2);
    putLittleEndian(header + 28, static_cast<uint32_t>(outputDepth), 2);
    putLittleEndian(header + 34, imageBytes, 4);
    // Compression, resolutions and colour counts stay 0.
}

// One row buffer, zero-filled once so that the padding is 0 in every row; rows go out
// bottom row first.
bool writeRowByRow(SafeFile* file, const uint8_t* pixels, int64_t stride, int width, int height,
                   int sourceDepth, bool bottomUp, int outputDepth, int64_t rowSize) {
    auto* row = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(rowSize), 1));
    if (row == nullptr) return false;
    const int outputStep = outputDepth / 8;
    bool ok = true;
    for (int64_t line = 0; line < height && ok; ++line) {
        const uint8_t* source = pixels + (bottomUp ? line : height - 1 - line) * stride;
        if (sourceDepth == 32) {
            compositeOverWhite(source, row, width, outputStep);
        } else {
            for (int x = 0; x < width; ++x) std::memcpy(row + x * outputStep, source + x * 3, 3);
        }
        ok = safeWrite(file, row, static_cast<size_t>(rowSize)) == 1;
    }
    std::free(row);
    return ok;
}

}  // namespace

int writeBmp(const std::string& fileName, const uint8_t* pixels, int stride, int width, int height,
             int sourceDepth, int flags, int /*options*/, int outputDepth) {
    if (outputDepth != 24 && outputDepth != 32) return 0;
    if (sourceDepth != 24 && sourceDepth != 32) return 0;
    if (fileName.empty() || pixels == nullptr || width <= 0 || height <= 0) return 0;
    if (stride < int64_t{width} * (sourceDepth / 8)) return 0;
    const int64_t rowSize = rowLength(width, outputDepth);
    const int64_t imageBytes = rowSize * height;
    if (kPixelOffset + imageBytes > int64_t{UINT32_MAX}) return 0;

    uint8_t header[kPixelOffset];
    fillHeaders(header, width, height, outputDepth, static_cast<uint32_t>(imageBytes));
    SafeFile* file = beginSafeFile(fileName);
    if (file == nullptr) return 0;
    bool ok = safeWrite(file, header, kFileHeaderBytes) == 1 &&
              safeWrite(file, header + kFileHeaderBytes, kInfoHeaderBytes) == 1;

    // A 24-bit buffer laid out like the file goes out in one piece; 32-bit pixels always
    // take the row path, which lays them over white.
    const bool bottomUp = (flags & kRowsBottomUp) != 0;
    if (ok && sourceDepth == 24 && outputDepth == 24 && bottomUp && stride == rowSize)
        ok = safeWrite(file, pixels, static_cast<size_t>(imageBytes)) == 1;
    else if (ok)
        ok = writeRowByRow(file, pixels, stride, width, height, sourceDepth, bottomUp, outputDepth, rowSize);

    if (!ok) {
        discardSafeFile(file);
        return 0;
    }
    return commitSafeFile(file);
}

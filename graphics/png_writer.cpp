#include "graphics/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <new>
#include <vector>

#include "graphics/image_save.h"
#include "support/safe_file.h"

namespace {

void writeToSafeFile(png_structp png, png_bytep data, size_t length) {
    if (safeWrite(static_cast<SafeFile*>(png_get_io_ptr(png)), data, length) != 1)
        png_error(png, "write failed");
}

void flushNothing(png_structp) {}

// What one file holds: its header, the PLTE of a palette picture, and where its rows lie.
struct PngRows {
    int width, height, bitDepth, colourType;
    const png_color* palette;  // colour type 3 only
    int paletteSize;
    const uint8_t* pixels;
    int64_t stride;
    bool bottomUp;
};

// libpng reports errors by a long jump back into this function, which then returns false.
// Nothing here that lives across the jump is changed after setjmp.
bool encodeRows(png_structp png, png_infop info, SafeFile* file, const PngRows& rows) {
    if (setjmp(*png_set_longjmp_fn(png, longjmp, sizeof(jmp_buf))) != 0) return false;
    png_set_write_fn(png, file, writeToSafeFile, flushNothing);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, static_cast<png_uint_32>(rows.width), static_cast<png_uint_32>(rows.height),
                 rows.bitDepth, rows.colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (rows.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, rows.palette, rows.paletteSize);
    } else {
        png_set_bgr(png);
    }
    png_write_info(png, info);
    for (int64_t row = 0; row < rows.height; ++row)
        png_write_row(png, rows.pixels + (rows.bottomUp ? rows.height - 1 - row : row) * rows.stride);
    png_write_end(png, info);
    return true;
}

// The rows into a new file; 1 on success, else 0 with no file left behind.
int writePngRows(const std::string& fileName, const PngRows& rows) {
    SafeFile* file = beginSafeFile(fileName);
    if (file == nullptr) return 0;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    const bool written = info != nullptr && encodeRows(png, info, file, rows);
    png_destroy_write_struct(&png, &info);
    if (!written) {
        discardSafeFile(file);
        return 0;
    }
    return commitSafeFile(file);
}

// The values packed bitDepth bits each, the first pixel in the high bits, rows padded to bytes.
std::vector<uint8_t> packedValues(const IndexedPicture& picture, int bitDepth, int64_t stride) {
    std::vector<uint8_t> packed(static_cast<size_t>(stride * picture.height), 0);
    const int perByte = 8 / bitDepth;
    for (int64_t y = 0; y < picture.height; ++y) {
        const uint8_t* values = picture.values.data() + y * picture.width;
        uint8_t* out = packed.data() + y * stride;
        for (int64_t x = 0; x < picture.width; ++x)
            out[x / perByte] |=
                static_cast<uint8_t>(values[x] << (8 - bitDepth * (1 + static_cast<int>(x % perByte))));
    }
    return packed;
}

int writePngRgb(const std::string& fileName, const uint8_t* pixels, int width, int height, int stride,
                int flags, int options, int outputDepth) {
    return writePng(fileName, pixels, width, height, stride, flags, options, outputDepth, PNG_COLOR_TYPE_RGB);
}

int writePngRgba(const std::string& fileName, const uint8_t* pixels, int width, int height, int stride,
                 int flags, int options, int outputDepth) {
    return writePng(fileName, pixels, width, height, stride, flags, options, outputDepth,
                    PNG_COLOR_TYPE_RGB_ALPHA);
}

}  // namespace

void registerPngEncoder() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    registerEncoder(kEncoderPng, writePngRgb, writePngRgba);
}

int writePng(const std::string& fileName, const uint8_t* pixels, int width, int height, int stride, int flags,
             int /*options*/, int /*outputDepth*/, int colourType) {
    if (colourType != PNG_COLOR_TYPE_RGB && colourType != PNG_COLOR_TYPE_RGB_ALPHA) return 0;
    const int bytesPerPixel = colourType == PNG_COLOR_TYPE_RGB ? 3 : 4;
    if (fileName.empty() || pixels == nullptr || width <= 0 || height <= 0) return 0;
    if (stride < int64_t{width} * bytesPerPixel) return 0;
    return writePngRows(
        fileName, {width, height, 8, colourType, nullptr, 0, pixels, stride, (flags & kRowsBottomUp) != 0});
}

int indexedPngDepth(int bits) {
    if (bits < 1 || bits > 8) return 0;
    int depth = 1;
    while (depth < bits) depth *= 2;
    return depth;
}

int writeIndexedPng(const std::string& fileName, const IndexedPicture& picture) {
    const int depth = indexedPngDepth(picture.bits);
    const size_t colourCount = picture.colours.size();
    if (fileName.empty() || depth == 0 || picture.width <= 0 || picture.height <= 0) return 0;
    if (colourCount < 1 || colourCount > (size_t{1} << depth)) return 0;
    if (picture.values.size() != static_cast<size_t>(int64_t{picture.width} * picture.height)) return 0;
    for (const uint8_t value : picture.values)
        if (value >= colourCount) return 0;
    std::vector<png_color> plte(colourCount);
    for (size_t v = 0; v < colourCount; ++v)
        plte[v] = {static_cast<png_byte>(picture.colours[v]), static_cast<png_byte>(picture.colours[v] >> 8),
                   static_cast<png_byte>(picture.colours[v] >> 16)};
    const int64_t stride = (int64_t{picture.width} * depth + 7) / 8;
    try {
        const std::vector<uint8_t> packed = packedValues(picture, depth, stride);
        return writePngRows(fileName,
                            {picture.width, picture.height, depth, PNG_COLOR_TYPE_PALETTE, plte.data(),
                             static_cast<int>(colourCount), packed.data(), stride, false});
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

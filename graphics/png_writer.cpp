#include "graphics/png_writer.h"

#include <png.h>

#include <csetjmp>

#include "graphics/image_save.h"
#include "support/safe_file.h"

namespace {

void writeToSafeFile(png_structp png, png_bytep data, size_t length) {
    if (safeWrite(static_cast<SafeFile*>(png_get_io_ptr(png)), data, length) != 1)
        png_error(png, "write failed");
}

void flushNothing(png_structp) {}

// libpng reports errors by a long jump back into this function, which then returns false.
// Nothing here that lives across the jump is changed after setjmp.
bool encodeRows(png_structp png, png_infop info, SafeFile* file, const uint8_t* pixels, int width, int height,
                int64_t stride, bool bottomUp, int colourType) {
    if (setjmp(*png_set_longjmp_fn(png, longjmp, sizeof(jmp_buf))) != 0) return false;
    png_set_write_fn(png, file, writeToSafeFile, flushNothing);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_bgr(png);
    png_write_info(png, info);
    for (int64_t row = 0; row < height; ++row)
        png_write_row(png, pixels + (bottomUp ? height - 1 - row : row) * stride);
    png_write_end(png, info);
    return true;
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

    SafeFile* file = beginSafeFile(fileName);
    if (file == nullptr) return 0;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    const bool written = info != nullptr && encodeRows(png, info, file, pixels, width, height, stride,
                                                       (flags & kRowsBottomUp) != 0, colourType);
    png_destroy_write_struct(&png, &info);
    if (!written) {
        discardSafeFile(file);
        return 0;
    }
    return commitSafeFile(file);
}

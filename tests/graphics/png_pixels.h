// A PNG read back through libpng, for tests: its header, its raw values (palette pictures: the
// colour numbers, unpacked to a byte each) and every pixel's colour.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct PngPixels {
    bool ok = false;
    int width = 0, height = 0, bitDepth = 0, colourType = -1;
    std::vector<uint8_t> values;   // palette pictures: one colour number a pixel, rows top-down
    std::vector<int32_t> palette;  // the PLTE, 0x00BBGGRR
    std::vector<int32_t> colours;  // every pixel's colour, 0x00BBGGRR, rows top-down
};

namespace png_pixels_detail {
struct Source {
    const std::string* bytes;
    size_t at;
};
inline void readFrom(png_structp png, png_bytep out, size_t length) {
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (source->at + length > source->bytes->size()) png_error(png, "short");
    std::memcpy(out, source->bytes->data() + source->at, length);
    source->at += length;
}
inline bool decode(png_structp png, png_infop info, Source& source, PngPixels& read) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;
    png_set_read_fn(png, &source, readFrom);
    png_read_info(png, info);
    read.width = static_cast<int>(png_get_image_width(png, info));
    read.height = static_cast<int>(png_get_image_height(png, info));
    read.bitDepth = png_get_bit_depth(png, info);
    read.colourType = png_get_color_type(png, info);
    if (read.colourType != PNG_COLOR_TYPE_PALETTE && read.colourType != PNG_COLOR_TYPE_RGB) return false;
    png_set_packing(png);  // values below 8 bits: a byte each
    png_read_update_info(png, info);
    png_colorp plte = nullptr;
    int entries = 0;
    if (read.colourType == PNG_COLOR_TYPE_PALETTE) png_get_PLTE(png, info, &plte, &entries);
    for (int k = 0; k < entries; ++k)
        read.palette.push_back(plte[k].red | plte[k].green << 8 | plte[k].blue << 16);
    std::vector<uint8_t> row(png_get_rowbytes(png, info));
    for (int y = 0; y < read.height; ++y) {
        png_read_row(png, row.data(), nullptr);
        for (int x = 0; x < read.width; ++x) {
            if (read.colourType == PNG_COLOR_TYPE_RGB) {
                read.colours.push_back(row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16);
                continue;
            }
            read.values.push_back(row[x]);
            read.colours.push_back(row[x] < read.palette.size() ? read.palette[row[x]] : -1);
        }
    }
    png_read_end(png, nullptr);
    return true;
}
}  // namespace png_pixels_detail

// ok is false for a file libpng refuses, or of another colour type than RGB or palette.
inline PngPixels readPngPixels(const std::string& bytes) {
    PngPixels read;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_pixels_detail::Source source{&bytes, 0};
    read.ok = png_pixels_detail::decode(png, info, source, read);
    png_destroy_read_struct(&png, &info, nullptr);
    return read;
}

// Our images as Qt pictures.
#pragma once

#include <QImage>

#include <bit>
#include <cstdint>
#include <cstring>

#include "graphics/images.h"

// The bottom-up blue-green-red rows of a 24-bit image into a top-down RGB32 picture, which is
// made (again) when its size differs. On a little-endian processor a pixel's three bytes read as
// a word are already RGB32's 0xRRGGBB, so each pixel but a row's last is one four-byte load (its
// fourth byte, the next pixel's, is covered by the opaque alpha).
inline void copyToQImage(const ImageBuffer& image, QImage& target) {
    if (target.width() != image.width || target.height() != image.height ||
        target.format() != QImage::Format_RGB32)
        target = QImage(image.width, image.height, QImage::Format_RGB32);
    if (image.width <= 0) return;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* source = imageRow(image, y);
        auto* row = reinterpret_cast<uint32_t*>(target.scanLine(y));
        const int last = std::endian::native == std::endian::little ? image.width - 1 : 0;
        for (int x = 0; x < last; ++x, source += 3) {
            uint32_t word;
            std::memcpy(&word, source, 4);
            row[x] = 0xFF000000u | word;
        }
        for (int x = last; x < image.width; ++x, source += 3)
            row[x] = 0xFF000000u | (uint32_t{source[2]} << 16) | (uint32_t{source[1]} << 8) | source[0];
    }
}

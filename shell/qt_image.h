// Our images as Qt pictures.
#pragma once

#include <QImage>
#include <QRect>

#include <bit>
#include <cstdint>
#include <cstring>

#include "graphics/images.h"

// The pixels of `area` (inside the image) of a 24-bit image, its rows bottom-up in blue, green,
// red, into 32-bit RGB rows top-down from `rows`, `rowBytes` apart, opaque. On a little-endian
// processor a pixel's three bytes read as a word are already RGB32's 0xRRGGBB, so each pixel but
// a row's last is one four-byte load (its fourth byte, the next pixel's, is covered by the alpha).
inline void copyToRgb32(const ImageBuffer& image, const QRect& area, uchar* rows, qsizetype rowBytes) {
    if (area.isEmpty()) return;
    const int words = std::endian::native == std::endian::little ? area.width() - 1 : 0;
    for (int y = area.top(); y <= area.bottom(); ++y, rows += rowBytes) {
        const uint8_t* source = imageRow(image, y) + 3 * area.left();
        auto* row = reinterpret_cast<uint32_t*>(rows);
        for (int x = 0; x < words; ++x, source += 3) {
            uint32_t word;
            std::memcpy(&word, source, 4);
            row[x] = 0xFF000000u | word;
        }
        for (int x = words; x < area.width(); ++x, source += 3)
            row[x] = 0xFF000000u | (uint32_t{source[2]} << 16) | (uint32_t{source[1]} << 8) | source[0];
    }
}

// The whole image into a top-down RGB32 picture, which is made (again) when its size differs.
inline void copyToQImage(const ImageBuffer& image, QImage& target) {
    if (target.width() != image.width || target.height() != image.height ||
        target.format() != QImage::Format_RGB32)
        target = QImage(image.width, image.height, QImage::Format_RGB32);
    copyToRgb32(image, QRect(0, 0, image.width, image.height), target.bits(), target.bytesPerLine());
}

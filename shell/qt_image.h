// Our images as Qt pictures.
#pragma once

#include <QImage>

#include <cstdint>

#include "graphics/images.h"

// The bottom-up blue-green-red rows of a 24-bit image into a top-down RGB32 picture, which is
// made (again) when its size differs.
inline void copyToQImage(const ImageBuffer& image, QImage& target) {
    if (target.width() != image.width || target.height() != image.height ||
        target.format() != QImage::Format_RGB32)
        target = QImage(image.width, image.height, QImage::Format_RGB32);
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* source = imageRow(image, y);
        auto* row = reinterpret_cast<uint32_t*>(target.scanLine(y));
        for (int x = 0; x < image.width; ++x, source += 3)
            row[x] = 0xFF000000u | (uint32_t{source[2]} << 16) | (uint32_t{source[1]} << 8) | source[0];
    }
}

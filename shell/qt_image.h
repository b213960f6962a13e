// Our images as Qt pictures.
#pragma once

#include <QImage>
#include <QRect>

#include "graphics/images.h"

// The pixels of `area` (inside the image) of a 24-bit image, its rows bottom-up in blue, green,
// red, into 32-bit RGB rows top-down from `rows`, `rowBytes` apart, opaque.
void copyToRgb32(const ImageBuffer& image, const QRect& area, uchar* rows, qsizetype rowBytes);

// The whole image into a top-down RGB32 picture, which is made (again) when its size differs.
void copyToQImage(const ImageBuffer& image, QImage& target);

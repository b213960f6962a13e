#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "graphics/drawing.h"

// Colour value (0x00BBGGRR) of pixel (x, y), y = 0 at the top.
inline int32_t pixelColour(int number, int x, int y) {
    const ImageBuffer* image = imageBuffer(number);
    const uint8_t* pixel = imageRow(*image, y) + x * (image->depth / 8);
    return pixel[2] | pixel[1] << 8 | pixel[0] << 16;
}

// One line per row, each ending in '\n'; a pixel is its colour's letter in the legend, else '?'.
inline std::string picture(int number, const std::map<int32_t, char>& legend) {
    const ImageBuffer* image = imageBuffer(number);
    std::string text;
    for (int y = 0; y < image->height; ++y, text += '\n')
        for (int x = 0; x < image->width; ++x) {
            auto found = legend.find(pixelColour(number, x, y));
            text += found != legend.end() ? found->second : '?';
        }
    return text;
}

// Image `number` becomes a black 24-bit image of the given size with a drawing context open on it.
inline bool drawOnFreshImage(int number, int width, int height) {
    endDrawing();
    return createImage(number, width, height) != 0 && beginDrawing(imageTarget(number)) != 0;
}

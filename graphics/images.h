// Numbered off-screen images: 24- or 32-bit pixel buffers, rows bottom-up and padded to
// 4 bytes, addressed by small non-negative numbers chosen by the caller. An operation on a
// number that holds no image does nothing and returns 0.
#pragma once

#include <cstdint>

// A pixel buffer: blue, green, red (and alpha at 32 bits) bytes per pixel; the first row
// in memory is the bottom row of the picture.
struct ImageBuffer {
    uint8_t* pixels;
    int32_t width, height, stride, depth, saveDepth;
};

// Stays valid as long as the program runs; after the image is freed it holds no pixels.
using ImageHandle = const ImageBuffer*;

// Largest width or height of an image.
constexpr int32_t kLargestImageSide = 32767;

// Highest image number; higher numbers are refused.
constexpr int kLargestImageNumber = 65535;

// A dimension of -65535 passed to resizeImage keeps the current one.
constexpr int kKeepSize = -65535;

// r + g * 256 + b * 65536, components 0..255.
int32_t rgb(int32_t r, int32_t g, int32_t b);

// First byte of picture row y (0 = top) of a bottom-up buffer.
inline uint8_t* imageRow(const ImageBuffer& image, int64_t y) {
    return image.pixels + (image.height - 1 - y) * static_cast<int64_t>(image.stride);
}

// Bytes of one stored row of `width` pixels: 24-bit rows padded to 4 bytes, any other depth
// (the images hold only 24 and 32) 4 bytes per pixel. 0 for a negative width.
int64_t rowLength(int64_t width, int depth);

// Lays `count` 32-bit pixels (blue, green, red, alpha) over white: each of blue, green and
// red becomes (alpha * (c - 255) + 65025) / 255. The results go to `target` as three bytes
// per pixel, `targetStep` bytes apart; any other byte of the target is left as it is.
void compositeOverWhite(const uint8_t* source, uint8_t* target, int64_t count, int targetStep);

// A 24-bit black image. Non-zero on success; on failure the number is free.
int createImage(int number, int width, int height);

// Depth 32 gives a 32-bit image whose pixels are the background with alpha 255, or all
// zero bytes when background is -1; a depth of 24 or less gives a 24-bit image filled
// with the background. Other depths are refused.
int createImage(int number, int width, int height, int depth, int32_t background);

// A pixel buffer outside the numbered table (the canvas keeps its own), made as createImage
// makes one; no pixels on failure. Release it with releaseImageBuffer.
ImageBuffer makeImageBuffer(int width, int height, int depth, int32_t background);

// Frees the pixels, first closing a drawing context that draws into them, and empties the record.
void releaseImageBuffer(ImageBuffer& image);

// Releases the image; -1 releases every image. Non-zero when something was freed.
int freeImage(int number);

ImageHandle imageHandle(int number);
ImageBuffer* imageBuffer(int number);  // nullptr if the number is free

// Makes image `destination` a copy of the width x height rectangle of `source` whose
// top-left corner is (x, y); parts outside the source are black. On failure the
// destination is unchanged.
int copyImageRect(int source, int destination, int x, int y, int width, int height);

// Scales the image to width x height: any non-zero mode picks the nearest source pixel,
// mode 0 averages the source area under each new pixel. On failure the number becomes free.
int resizeImage(int number, int width, int height, int mode);

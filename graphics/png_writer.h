// PNG files through libpng: 8 bits per channel, RGB or RGB with alpha, or palette pictures of
// 1, 2, 4 or 8 bits; no filtering, zlib level 9, no ancillary chunks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Registers writePng as the "PNG" encoder of saveImage (colour type 2 for 24-bit images, 6
// for 32-bit ones); later calls do nothing.
void registerPngEncoder();

// Writes the pixels (blue, green, red per pixel for colour type 2, plus alpha for 6; flag
// 2 = rows bottom-up in memory), top row first. 1 on success. A zero-sized picture or any
// libpng error gives 0, leaves no file behind and an existing file of that name as it was.
// The options word and the output depth are not used: every file is 8 bits per channel.
int writePng(const std::string& fileName, const uint8_t* pixels, int width, int height, int stride, int flags,
             int options, int outputDepth, int colourType);

// A picture of colour numbers: one value a pixel, rows top-down, every value below 2^bits and
// below the number of colours; colours[v] (0x00BBGGRR) is the colour that value v shows.
struct IndexedPicture {
    int32_t width = 0, height = 0;
    int bits = 8;  // 1..8
    std::vector<uint8_t> values;
    std::vector<int32_t> colours;  // 1..2^bits
};

// The bit depth of a palette PNG for values of that many bits: 1, 2, 4 or 8; 0 outside 1..8.
int indexedPngDepth(int bits);

// The picture as a palette PNG (colour type 3) of depth indexedPngDepth(bits), its PLTE the
// colours, the pixels the values themselves. 1 on success; 0 for a picture that breaks the
// rules above or a failed write, with no file left behind, as writePng.
int writeIndexedPng(const std::string& fileName, const IndexedPicture& picture);

// PNG files through libpng: 8 bits per channel, RGB or RGB with alpha, no filtering,
// zlib level 9, no ancillary chunks.
#pragma once

#include <cstdint>
#include <string>

// Registers writePng as the "PNG" encoder of saveImage (colour type 2 for 24-bit images, 6
// for 32-bit ones); later calls do nothing.
void registerPngEncoder();

// Writes the pixels (blue, green, red per pixel for colour type 2, plus alpha for 6; flag
// 2 = rows bottom-up in memory), top row first. 1 on success. A zero-sized picture or any
// libpng error gives 0, leaves no file behind and an existing file of that name as it was.
// The options word and the output depth are not used: every file is 8 bits per channel.
int writePng(const std::string& fileName, const uint8_t* pixels, int width, int height, int stride, int flags,
             int options, int outputDepth, int colourType);

// Uncompressed bitmap files of 24 or 32 bits per pixel, rows bottom-up.
#pragma once

#include <cstdint>
#include <string>

// Writes the pixels (24-bit blue, green, red or 32-bit with alpha, stride bytes per row,
// flag 2 = rows bottom-up in memory) as a file of outputDepth 24 or 32 bits per pixel;
// 32-bit pixels are laid over white. 1 on success. Any other output depth, or sizes that
// describe no picture, give 0 before the file is touched; a failed write leaves no file
// behind and an existing file of that name as it was. The options word is not used.
int writeBmp(const std::string& fileName, const uint8_t* pixels, int stride, int width, int height,
             int sourceDepth, int flags, int options, int outputDepth);

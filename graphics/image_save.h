// Saving an image to a file: the BMP writer by default, or an encoder registered under the
// three letters of its format.
#pragma once

#include <cstdint>
#include <string>

#include "graphics/save_flags.h"

// (fileName, pixels, width, height, stride, flags, options, outputDepth): 1 on success.
// Flag 2 means the rows lie bottom-up in memory.
using EncoderEntry = int (*)(const std::string& fileName, const uint8_t* pixels, int width, int height,
                             int stride, int flags, int options, int outputDepth);

// "BMP" and "PNG", the letters packed little-endian.
constexpr int32_t kEncoderBmp = 0x504D42, kEncoderPng = 0x474E50;

// Appends an encoder to the list saveImage looks in, in registration order. save32 may be
// nullptr; then 32-bit images reach save24 as a copy laid over white.
void registerEncoder(int32_t identifier, EncoderEntry save24, EncoderEntry save32);

// Non-zero on success; 0 for an empty name, a free number, an unknown encoder or a failed write.
int saveImage(int number, const std::string& fileName, int32_t encoder = kEncoderBmp);

// The encoder named by its three letters, such as "PNG" or "BMP".
int saveImage(int number, const std::string& fileName, const std::string& encoderName);

// Turning one byte of the data into a short run of coloured pixels, for the
// four colour modes.
#pragma once

#include <array>
#include <cstdint>

#include "viewer/engine/colour_mode.h"
#include "viewer/engine/data_bytes.h"

struct ModeRow;

constexpr int32_t kColourBlack = 0x000000;
constexpr int32_t kColourWhite = 0xFFFFFF;
constexpr int32_t kBkPastEndColour = 0xFF0000;  // blue

// Geometry of a colour mode, in view units (a unit is zoom x zoom screen pixels).
struct ModeGeometry {
    int pixelsPerByte;
    int pixelWidth;    // units per pixel, horizontally
    int unitsPerByte;  // pixelsPerByte x pixelWidth
};

// Mode outside 0..3 gives the Binary geometry.
ModeGeometry modeGeometry(int mode);

// The record of a byte-cell mode; Binary for any other mode (as the byte-cell modes beyond the four
// draw).
const ModeRow& byteCellRow(int mode);

// Colour `index` of the palette of Atari GR.15 (4 colours), BK-0010 (4) or Sam Coupe mode 4
// (16); black for any other mode or index.
int32_t modePaletteColour(int mode, int index);

// The byte with its bit order reversed (bit k becomes bit 7 - k), as arithmetic that loops over
// many bytes can run several bytes at a time.
constexpr uint8_t reverseBits(uint8_t value) {
    unsigned v = value;
    v = (v & 0xF0) >> 4 | (v & 0x0F) << 4;
    v = (v & 0xCC) >> 2 | (v & 0x33) << 2;
    v = (v & 0xAA) >> 1 | (v & 0x55) << 1;
    return static_cast<uint8_t>(v);
}

// The transforms of the display options, in their order: inverse, bit
// reversal, nibble swap.
uint8_t transformedByte(uint8_t raw, bool inverse, bool reverseByte, bool nibbleSwap);

// The same transforms as a table: transformedByte(raw, ...) is table[raw].
const std::array<uint8_t, 256>& transformTable(bool inverse, bool reverseByte, bool nibbleSwap);

// The byte at index after inverse, bit reversal and nibble swap; 0 outside the data (the
// inverse is not applied there).
uint8_t viewByteValue(const DataBytes& data, int64_t index, bool inverse, bool reverseByte, bool nibbleSwap);

// Colour of pixel j (0 = leftmost) of a decoded byte; pastEnd is true when the
// byte lies at or beyond the end of the data (BK-0010 then draws it blue).
int32_t decodedPixelColour(int mode, uint8_t value, int j, bool pastEnd);

// The colours of all pixels of a decoded byte, as decodedPixelColour gives them one by one:
// loops over many bytes look the mode up once a byte, not once a pixel.
struct ByteColours {
    int count;  // the mode's pixels per byte
    std::array<int32_t, 8> pixel;
};
ByteColours decodedByteColours(int mode, uint8_t value, bool pastEnd);

// Turning one byte of the data into a short run of coloured pixels, for the
// four colour modes.
#pragma once

#include <array>
#include <cstdint>

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

// Writes the mode's colours into viewerState.palette (nothing for Binary).
void loadModePalette(int mode);

// The transforms of the display options, in their order: inverse, bit
// reversal, nibble swap.
uint8_t transformedByte(uint8_t raw, bool inverse, bool reverseByte, bool nibbleSwap);

// The same transforms as a table: transformedByte(raw, ...) is table[raw].
const std::array<uint8_t, 256>& transformTable(bool inverse, bool reverseByte, bool nibbleSwap);

// The byte at index after inverse, bit reversal and nibble swap, as the held
// values ask; 0 outside the data (the inverse is not applied there).
uint8_t viewByteValue(int64_t index);

// Colour of pixel j (0 = leftmost) of a decoded byte; pastEnd is true when the
// byte lies at or beyond the end of the data (BK-0010 then draws it blue).
// Reads the palette that loadModePalette wrote.
int32_t decodedPixelColour(int mode, uint8_t value, int j, bool pastEnd);

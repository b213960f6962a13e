#include "viewer/engine/pixel_decoding.h"

#include <array>

namespace {

constexpr std::array<int32_t, 4> kAtariPalette = {0x000000, 0x4F65B3, 0x35BC84, 0x5E510C};
constexpr std::array<int32_t, 4> kBkPalette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

// Bit 0 of the index drives blue, bit 1 red, bit 2 green; the upper eight
// colours are brighter and never fully dark.
int32_t samColour(int index) {
    const int on = index < 8 ? 0x49 : 0x6D;
    const int off = index < 8 ? 0x00 : 0x24;
    const int32_t blue = (index & 1) ? on : off;
    const int32_t red = (index & 2) ? on : off;
    const int32_t green = (index & 4) ? on : off;
    return red | (green << 8) | (blue << 16);
}

using TransformTables = std::array<std::array<uint8_t, 256>, 8>;

// Every combination of inverse (4), bit reversal (2) and nibble swap (1), in that order.
constexpr TransformTables makeTransformTables() {
    TransformTables tables{};
    for (int c = 0; c < 8; ++c)
        for (int raw = 0; raw < 256; ++raw) {
            auto value = static_cast<uint8_t>((c & 4) != 0 ? raw ^ 0xFF : raw);
            if ((c & 2) != 0) value = reverseBits(value);
            if ((c & 1) != 0) value = static_cast<uint8_t>((value & 0x0F) << 4 | (value & 0xF0) >> 4);
            tables[c][raw] = value;
        }
    return tables;
}

constexpr TransformTables kTransformTables = makeTransformTables();

}  // namespace

ModeGeometry modeGeometry(int mode) {
    switch (mode) {
        case kModeAtari:
            return {4, 2, 8};
        case kModeBk:
            return {4, 1, 4};
        case kModeSam:
            return {2, 1, 2};
        default:
            return {8, 1, 8};
    }
}

int32_t modePaletteColour(int mode, int index) {
    switch (mode) {
        case kModeAtari:
            return index >= 0 && index < 4 ? kAtariPalette[index] : kColourBlack;
        case kModeBk:
            return index >= 0 && index < 4 ? kBkPalette[index] : kColourBlack;
        case kModeSam:
            return index >= 0 && index < 16 ? samColour(index) : kColourBlack;
        default:
            return kColourBlack;
    }
}

const std::array<uint8_t, 256>& transformTable(bool inverse, bool reverseByte, bool nibbleSwap) {
    return kTransformTables[(inverse ? 4 : 0) + (reverseByte ? 2 : 0) + (nibbleSwap ? 1 : 0)];
}

uint8_t transformedByte(uint8_t raw, bool inverse, bool reverseByte, bool nibbleSwap) {
    return transformTable(inverse, reverseByte, nibbleSwap)[raw];
}

uint8_t viewByteValue(const DataBytes& data, int64_t index, bool inverse, bool reverseByte, bool nibbleSwap) {
    const bool inside = index >= 0 && index < data.size && data.bytes != nullptr;
    const uint8_t raw = inside ? data.bytes[index] : 0;
    return transformedByte(raw, inside && inverse, reverseByte, nibbleSwap);
}

int32_t decodedPixelColour(int mode, uint8_t value, int j, bool pastEnd) {
    switch (mode) {
        case kModeAtari:
            return modePaletteColour(mode, (value >> (6 - 2 * j)) & 3);
        case kModeBk:
            return pastEnd ? kBkPastEndColour : modePaletteColour(mode, (value >> (2 * j)) & 3);
        case kModeSam:
            return modePaletteColour(mode, j == 0 ? value >> 4 : value & 0x0F);
        default:
            return (value & (0x80 >> j)) ? kColourWhite : kColourBlack;
    }
}

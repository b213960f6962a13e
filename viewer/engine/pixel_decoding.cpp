#include "viewer/engine/pixel_decoding.h"

#include <array>

#include "viewer/engine/viewer_state.h"

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

void loadModePalette(int mode) {
    auto& palette = viewerState.palette;
    switch (mode) {
        case kModeAtari:
            for (int i = 0; i < 4; ++i) palette[i] = kAtariPalette[i];
            break;
        case kModeBk:
            for (int i = 0; i < 4; ++i) palette[i] = kBkPalette[i];
            break;
        case kModeSam:
            for (int i = 0; i < 16; ++i) palette[i] = samColour(i);
            break;
        default:
            break;
    }
}

const std::array<uint8_t, 256>& transformTable(bool inverse, bool reverseByte, bool nibbleSwap) {
    return viewerState.transformTables[(inverse ? 4 : 0) + (reverseByte ? 2 : 0) + (nibbleSwap ? 1 : 0)];
}

uint8_t transformedByte(uint8_t raw, bool inverse, bool reverseByte, bool nibbleSwap) {
    return transformTable(inverse, reverseByte, nibbleSwap)[raw];
}

uint8_t viewByteValue(int64_t index) {
    const bool inside = index >= 0 && index < viewerState.dataSize && viewerState.dataBuffer != nullptr;
    const uint8_t raw = inside ? viewerState.dataBuffer[index] : 0;
    const bool inverse = inside && heldValue(HeldValue::Inverse) != 0;
    return transformedByte(raw, inverse, heldValue(HeldValue::ReverseByte) != 0,
                           heldValue(HeldValue::NibbleSwap) != 0);
}

int32_t decodedPixelColour(int mode, uint8_t value, int j, bool pastEnd) {
    const auto& palette = viewerState.palette;
    switch (mode) {
        case kModeAtari:
            return palette[(value >> (6 - 2 * j)) & 3];
        case kModeBk:
            return pastEnd ? kBkPastEndColour : palette[(value >> (2 * j)) & 3];
        case kModeSam:
            return palette[j == 0 ? value >> 4 : value & 0x0F];
        default:
            return (value & (0x80 >> j)) ? kColourWhite : kColourBlack;
    }
}

#include "viewer/engine/pixel_decoding.h"

#include <array>

#include "viewer/engine/mode_table.h"

const ModeRow& byteCellRow(int mode) {
    return *modeRow(mode >= 0 && mode < kColourModeCount ? mode : kModeBinary, nullptr);
}

namespace {

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
    const ModeRow& row = byteCellRow(mode);
    return {row.unitPixels, row.pixelWidth, row.unitPixels * row.pixelWidth};
}

int32_t modePaletteColour(int mode, int index) {
    if (mode <= kModeBinary || mode >= kColourModeCount) return kColourBlack;
    const ModeRow& row = *modeRow(mode, nullptr);
    return index >= 0 && index < 1 << row.bits ? row.record->colours[index] : kColourBlack;
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

ByteColours decodedByteColours(int mode, uint8_t value, bool pastEnd) {
    const ModeRow& row = byteCellRow(mode);
    ByteColours colours{row.pixelsPerByte, {}};
    if (mode == kModeBk && pastEnd) {
        colours.pixel.fill(kBkPastEndColour);
        return colours;
    }
    // The byte table packs a byte's pixels from the top bit down, packBits each.
    const unsigned packed = row.byteTable[value];
    const unsigned mask = (1u << row.packBits) - 1;
    for (int j = 0, shift = 8 - row.packBits; j < colours.count; ++j, shift -= row.packBits)
        colours.pixel[j] = row.record->colours[(packed >> shift) & mask];
    return colours;
}

int32_t decodedPixelColour(int mode, uint8_t value, int j, bool pastEnd) {
    return decodedByteColours(mode, value, pastEnd).pixel[j];
}

#include "viewer/engine/wide_colours.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "graphics/drawing.h"
#include "viewer/engine/pixel_kernels.h"

namespace {

void makeChannelScale(ChannelScale& s, uint32_t mask) {
    s.mask = mask;
    if (mask == 0) return;  // no bits: level 0
    s.shift = std::countr_zero(mask);
    s.bits = std::popcount(mask);
    s.top = static_cast<uint32_t>((uint64_t{1} << s.bits) - 1);
    s.sideBySide = mask >> s.shift == s.top;
    if (s.bits > 8) return;
    for (uint32_t c = 0; c <= s.top; ++c) s.levels[c] = static_cast<uint8_t>(channelLevel(c, s.top));
}

}  // namespace

void makeWideColours(WideColours& colours, const ModeRecord& record, const Palette* palette, int base) {
    colours.indexed = palette != nullptr || record.colours != nullptr;
    if (colours.indexed) {
        for (int v = 0; v < 256; ++v)
            colours.colours[v] = palette != nullptr ? paletteColour(*palette, base, v)
                                                    : wideValueColour(record, static_cast<uint32_t>(v));
        return;
    }
    for (int c = 0; c < 3; ++c) makeChannelScale(colours.channels[c], record.channelMasks[c]);
}

void writeWideLine(const WideColours& colours, const uint32_t* values, int pixels, int factor, uint8_t* out,
                   size_t bytes) {
    const size_t pixelBytes = static_cast<size_t>(factor) * kScreenPixelBytes;
    const int whole = static_cast<int>(std::min<size_t>(pixels, bytes / pixelBytes));
    if (factor == 1) {
        // Four bytes a store; the next pixel's store overwrites the fourth, the last pixel's is cut.
        for (int x = 0; x + 1 < whole; ++x) {
            const auto colour = static_cast<uint32_t>(wideColour(colours, values[x]));
            const uint32_t screen = (colour >> 16 & 0xFF) | (colour & 0xFF00) | (colour & 0xFF) << 16;
            std::memcpy(out + 3 * x, &screen, 4);
        }
    }
    for (int x = factor == 1 ? std::max(whole - 1, 0) : 0; x < whole; ++x) {
        const int32_t colour = wideColour(colours, values[x]);
        for (int f = 0; f < factor; ++f) writePixel(out + x * pixelBytes + f * kScreenPixelBytes, colour);
    }
    if (whole < pixels && whole * pixelBytes < bytes) {
        // A pixel is at most two view units of zoom 8 wide.
        uint8_t cell[16 * kScreenPixelBytes];
        const int32_t colour = wideColour(colours, values[whole]);
        for (int f = 0; f < std::min(factor, 16); ++f) writePixel(cell + f * kScreenPixelBytes, colour);
        std::memcpy(out + whole * pixelBytes, cell, std::min(bytes - whole * pixelBytes, pixelBytes));
    }
}

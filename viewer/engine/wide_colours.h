// Pixel values over 8 bits as screen colours, for drawing many of them: each of red, green and blue
// picked from the value by its mask and scaled to 0..255, or the value a colour number of a table.
// The same colours as wideValueColour gives one at a time, without a division per pixel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "viewer/engine/mode_table.h"
#include "viewer/engine/palettes.h"

// One channel: its bits (value >> shift) & top when they lie side by side, else picked one by one.
struct ChannelScale {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;  // n: the level is 255 x c div (2^n - 1)
    uint32_t top = 0;
    bool sideBySide = true;
    uint8_t levels[256] = {};  // n <= 8: the level of each c
};

struct WideColours {
    bool indexed = false;       // the value is a colour number
    int32_t colours[256] = {};  // indexed: the colour of each number; numbers past 255 show black
    ChannelScale channels[3];   // red, green, blue (an alpha mask is not drawn)
};

// The colours of a format's values: a palette chosen by the user (from `base` on) where its values
// are colour numbers, else its own.
void makeWideColours(WideColours& colours, const ModeRecord& record, const Palette* palette, int base);

inline uint32_t channelOf(const ChannelScale& s, uint32_t value) {
    if (!s.sideBySide) return static_cast<uint32_t>(channelLevel(value, s.mask));
    const uint32_t c = (value >> s.shift) & s.top;
    if (s.bits <= 8) return s.levels[c];
    // 255 c div (2^n - 1) for n >= 8, where 255 c < 2^2n.
    const uint64_t t = 255 * uint64_t{c};
    return static_cast<uint32_t>((t + (t >> s.bits) + 1) >> s.bits);
}

// The colour of a value, 0x00BBGGRR.
inline int32_t wideColour(const WideColours& w, uint32_t value) {
    if (w.indexed) return value < 256 ? w.colours[value] : 0;
    return static_cast<int32_t>(channelOf(w.channels[0], value) | channelOf(w.channels[1], value) << 8 |
                                channelOf(w.channels[2], value) << 16);
}

// The screen bytes of `pixels` values, each `factor` screen pixels wide, from `out` on: `bytes` of
// them at most (the last pixel may be cut).
void writeWideLine(const WideColours& colours, const uint32_t* values, int pixels, int factor, uint8_t* out,
                   size_t bytes);

// The plan of a format whose values are colours of channels of at most 8 bits side by side, in whole
// words one after the other (values of a palette's colour numbers are not); false for any other.
bool makeDirectColourWords(DirectColourWords& plan, const ModeRow& row, const WideColours& colours);

// The screen bytes of rows of words by the plan: through the kernel where the table has one for the
// plan, else portably.
void writeDirectColours(const PixelKernels& kernels, const DirectColourWords& plan,
                        const DirectColourRows& rows);

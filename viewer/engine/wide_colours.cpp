#include "viewer/engine/wide_colours.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "graphics/drawing.h"
#include "viewer/engine/pixel_kernels.h"

namespace {

// The levels 255 c div (2^n - 1) of each c of n = 1..8 bits, made once: a division each, 768 of them
// for three channels of 8 bits, took a few microseconds of every drawing.
constexpr auto kChannelLevels = [] {
    std::array<std::array<uint8_t, 256>, 9> levels{};
    for (uint32_t n = 1; n <= 8; ++n)
        for (uint32_t c = 0, top = (1u << n) - 1; c <= top; ++c)
            levels[n][c] = static_cast<uint8_t>(255 * c / top);
    return levels;
}();

void makeChannelScale(ChannelScale& s, uint32_t mask) {
    s.mask = mask;
    if (mask == 0) return;  // no bits: level 0
    s.shift = std::countr_zero(mask);
    s.bits = std::popcount(mask);
    s.top = static_cast<uint32_t>((uint64_t{1} << s.bits) - 1);
    s.sideBySide = mask >> s.shift == s.top;
    if (s.bits > 8) return;
    std::memcpy(s.levels, kChannelLevels[s.bits].data(), s.top + 1);
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

namespace {

// For channels of 1..8 bits: a shift and a factor whose product's high 16 bits are 255 c div (2^n - 1).
struct LevelScale {
    int shift;
    uint16_t factor;
};
constexpr LevelScale kLevelScales[9] = {{0, 0},     {8, 65280}, {7, 43520}, {6, 37303}, {5, 34816},
                                        {4, 33693}, {3, 33159}, {2, 32898}, {1, 32768}};

bool scalesToLevels(const ChannelScale& s, const LevelScale& scale) {
    for (uint32_t c = 0; c <= s.top; ++c)
        if ((c << scale.shift) * scale.factor >> 16 != s.levels[c]) return false;
    return true;
}

// The picks of a whole-byte plan's vectors of 64 pixels, from its picks of 16 (pick[c]: the byte of
// channel c in a word).
void makeRoundPicks(DirectColourWords& plan) {
    for (int k = 0; k < 3; ++k) {
        const int first = roundFirstPixel(k);
        const int secondAt = plan.bytes * (roundEndPixel(k) - first) - 64;  // from the first load's start
        plan.roundKeep[k] = 0;
        for (int i = 0; i < 64; ++i) {
            const int c = (64 * k + i) % kScreenPixelBytes;
            const int byte = plan.bytes * ((64 * k + i) / kScreenPixelBytes - first) + plan.pick[c];
            plan.roundPick[k][i] = static_cast<uint8_t>(byte < 64 ? byte : 64 + byte - secondAt);
            plan.roundKeep[k] |= (plan.keep >> c & 1) << i;
        }
    }
}

}  // namespace

bool makeDirectColourWords(DirectColourWords& plan, const ModeRow& row, const WideColours& colours) {
    const PixelLayout& l = row.record->pixels;
    if (colours.indexed || row.wordBytes == 0 || l.groupPixels != 0 || l.stepX != 8 * row.wordBytes)
        return false;
    plan.bytes = row.wordBytes;
    plan.bigEndian = row.wordBigEndian;
    plan.wholeBytes = true;
    plan.scaled = true;
    plan.keep = 0;
    std::memset(plan.pick, 0, sizeof plan.pick);
    for (int c = 0; c < 3; ++c) {
        // Screen bytes are blue, green, red; the channels red, green, blue.
        const ChannelScale& s = colours.channels[2 - c];
        if (s.mask != 0 && (!s.sideBySide || s.bits > 8 || s.shift + s.bits > 8 * plan.bytes)) return false;
        plan.shift[c] = s.shift;
        plan.bits[c] = s.mask != 0 ? s.bits : 0;
        for (int v = 0; v < 256; ++v) plan.levels[c][v] = s.mask != 0 ? s.levels[v & s.top] : 0;
        if (s.mask == 0) continue;
        plan.scaleShift[c] = kLevelScales[s.bits].shift;
        plan.scale[c] = kLevelScales[s.bits].factor;
        plan.scaled = plan.scaled && scalesToLevels(s, kLevelScales[s.bits]);
        plan.wholeBytes = plan.wholeBytes && s.bits == 8 && s.shift % 8 == 0;
        const int byte = plan.bigEndian ? plan.bytes - 1 - s.shift / 8 : s.shift / 8;
        for (int p = 0; p < 16; ++p) {
            plan.pick[3 * p + c] = static_cast<uint8_t>(plan.bytes * p + byte);
            plan.keep |= uint64_t{1} << (3 * p + c);
        }
    }
    if (plan.wholeBytes && plan.bytes >= 3) makeRoundPicks(plan);
    return true;
}

namespace {

static_assert(std::endian::native == std::endian::little, "words and screen bytes are read as integers");

// The word at `word` as an integer. A 3-byte word is read as 4 bytes where a byte follows it (kFollowed):
// copied into an integer byte by byte, it would be read back before the copy reached it, a stall per
// word (six times the time of the other sizes).
template <int kBytes, bool kBigEndian, bool kFollowed>
uint32_t wordValue(const uint8_t* word) {
    uint32_t value = 0;
    if constexpr (kBytes == 3 && kFollowed) {
        std::memcpy(&value, word, 4);
        value &= 0xFFFFFF;
    } else if constexpr (kBytes == 3) {
        value = uint32_t{word[0]} | uint32_t{word[1]} << 8 | uint32_t{word[2]} << 16;
    } else {
        std::memcpy(&value, word, kBytes);
    }
    if constexpr (kBigEndian) value = __builtin_bswap32(value) >> (32 - 8 * kBytes);
    return value;
}

template <int kBytes, bool kBigEndian>
void writeWords(const DirectColourWords& plan, const uint8_t* words, int pixels, uint8_t* out) {
    // In locals: the stores through `out` could otherwise change the plan, for all the compiler knows.
    const uint8_t *blue = plan.levels[0], *green = plan.levels[1], *red = plan.levels[2];
    const int blueShift = plan.shift[0], greenShift = plan.shift[1], redShift = plan.shift[2];
    const auto screenBytes = [&](uint32_t value) {
        return uint32_t{blue[value >> blueShift & 0xFF]} | uint32_t{green[value >> greenShift & 0xFF]} << 8 |
               uint32_t{red[value >> redShift & 0xFF]} << 16;
    };
    // Four bytes a store; the next pixel's store overwrites the fourth, the last pixel's is cut.
    for (int x = 0; x + 1 < pixels; ++x) {
        const uint32_t screen = screenBytes(wordValue<kBytes, kBigEndian, true>(words + kBytes * x));
        std::memcpy(out + 3 * x, &screen, 4);
    }
    if (pixels <= 0) return;
    const uint32_t screen = screenBytes(wordValue<kBytes, kBigEndian, false>(words + kBytes * (pixels - 1)));
    std::memcpy(out + 3 * (pixels - 1), &screen, 3);
}

}  // namespace

namespace {

template <int kBytes, bool kBigEndian>
void writeWordRows(const DirectColourWords& plan, const DirectColourRows& rows) {
    for (int r = 0; r < rows.rows; ++r)
        writeWords<kBytes, kBigEndian>(plan, rows.words + r * rows.wordStep, rows.pixels,
                                       rows.out + r * rows.outStep);
}

}  // namespace

void writeDirectColours(const PixelKernels& kernels, const DirectColourWords& plan,
                        const DirectColourRows& rows) {
    if (directColours(kernels, plan, rows)) return;
    switch (plan.bytes * 2 + plan.bigEndian) {
        case 4:
            return writeWordRows<2, false>(plan, rows);
        case 5:
            return writeWordRows<2, true>(plan, rows);
        case 6:
            return writeWordRows<3, false>(plan, rows);
        case 7:
            return writeWordRows<3, true>(plan, rows);
        case 8:
            return writeWordRows<4, false>(plan, rows);
        default:
            return writeWordRows<4, true>(plan, rows);
    }
}

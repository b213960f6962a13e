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
            levels[n][c] = static_cast<uint8_t>(scaledLevel(c, static_cast<int>(n)));
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

// For channels of n = 0..8 bits: (c x factor + add) >> shift is 255 c div (2^n - 1) (0 for no bits),
// c x factor + add below 2^16.
struct LevelArithmetic {
    uint16_t factor, add;
    int shift;
};
constexpr LevelArithmetic kLevelArithmetic[9] = {{0, 0, 0},   {255, 0, 0}, {85, 0, 0},
                                                 {583, 0, 4}, {17, 0, 0},  {1053, 0, 7},
                                                 {259, 3, 6}, {257, 1, 7}, {1, 0, 0}};
static_assert([] {
    for (int n = 1; n <= 8; ++n)
        for (uint32_t c = 0, top = (1u << n) - 1; c <= top; ++c) {
            const LevelArithmetic& a = kLevelArithmetic[n];
            const uint32_t sum = c * a.factor + a.add;
            if (sum > 0xFFFF || static_cast<int32_t>(sum >> a.shift) != scaledLevel(c, n)) return false;
        }
    return true;
}());

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

// The picks of a plan of 2-byte words with channels of at most 6 bits: the 8 screen bytes at
// 8q..8q + 7 of a vector of 64 pixels are of 3 or 4 pixels, whose words go to those 8 bytes.
void makeWordRoundPicks(DirectColourWords& plan) {
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 64; ++i) {
            const int screenByte = 64 * k + i, pixel = screenByte / kScreenPixelBytes;
            const int slot = pixel - (64 * k + i / 8 * 8) / kScreenPixelBytes;
            const int word = pixel - wordRoundLoad(k);
            for (int b = 0; b < 2; ++b)
                plan.roundPick[k][i / 8 * 8 + 2 * slot + b] =
                    static_cast<uint8_t>(2 * word + (plan.bigEndian ? 1 - b : b));
            plan.roundBits[k][i] =
                static_cast<uint8_t>(16 * slot + plan.shift[screenByte % kScreenPixelBytes]);
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
    plan.keep = 0;
    std::memset(plan.pick, 0, sizeof plan.pick);
    for (int c = 0; c < 3; ++c) {
        // Screen bytes are blue, green, red; the channels red, green, blue.
        const ChannelScale& s = colours.channels[2 - c];
        if (s.mask != 0 && (!s.sideBySide || s.bits > 8 || s.shift + s.bits > 8 * plan.bytes)) return false;
        plan.shift[c] = s.shift;
        plan.bits[c] = s.mask != 0 ? s.bits : 0;
        for (int v = 0; v < 256; ++v) plan.levels[c][v] = s.mask != 0 ? s.levels[v & s.top] : 0;
        const LevelArithmetic& level = kLevelArithmetic[plan.bits[c]];
        plan.factor[c] = level.factor;
        plan.add[c] = level.add;
        plan.levelShift[c] = level.shift;
        if (s.mask == 0) continue;
        plan.wholeBytes = plan.wholeBytes && s.bits == 8 && s.shift % 8 == 0;
        const int byte = plan.bigEndian ? plan.bytes - 1 - s.shift / 8 : s.shift / 8;
        for (int p = 0; p < 16; ++p) {
            plan.pick[3 * p + c] = static_cast<uint8_t>(plan.bytes * p + byte);
            plan.keep |= uint64_t{1} << (3 * p + c);
        }
    }
    if (plan.wholeBytes && plan.bytes >= 3) makeRoundPicks(plan);
    plan.narrowWords =
        !plan.wholeBytes && plan.bytes == 2 && std::max({plan.bits[0], plan.bits[1], plan.bits[2]}) <= 6;
    if (plan.narrowWords) makeWordRoundPicks(plan);
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

// The screen bytes screenBytes(value) of each of `pixels` words, read as kBytes-byte integers.
template <int kBytes, bool kBigEndian, typename ScreenBytes>
inline void writeWordsBy(const uint8_t* words, int pixels, uint8_t* out, ScreenBytes screenBytes) {
    // Four bytes a store; the next pixel's store overwrites the fourth, the last pixel's is cut.
    for (int x = 0; x + 1 < pixels; ++x) {
        const uint32_t screen = screenBytes(wordValue<kBytes, kBigEndian, true>(words + kBytes * x));
        std::memcpy(out + 3 * x, &screen, 4);
    }
    if (pixels <= 0) return;
    const uint32_t screen = screenBytes(wordValue<kBytes, kBigEndian, false>(words + kBytes * (pixels - 1)));
    std::memcpy(out + 3 * (pixels - 1), &screen, 3);
}

template <int kBytes, bool kBigEndian>
void writeWords(const DirectColourWords& plan, const uint8_t* words, int pixels, uint8_t* out) {
    // In locals: the stores through `out` could otherwise change the plan, for all the compiler knows.
    const uint8_t *blue = plan.levels[0], *green = plan.levels[1], *red = plan.levels[2];
    const int blueShift = plan.shift[0], greenShift = plan.shift[1], redShift = plan.shift[2];
    writeWordsBy<kBytes, kBigEndian>(words, pixels, out, [&](uint32_t value) {
        return uint32_t{blue[value >> blueShift & 0xFF]} | uint32_t{green[value >> greenShift & 0xFF]} << 8 |
               uint32_t{red[value >> redShift & 0xFF]} << 16;
    });
}

// Whole-byte channels of words of 3 or 4 bytes, blue, green and red in three bytes side by side in
// either direction: the screen bytes are the word's bytes as they lie, shifted down (kDescending:
// reversed first) by `drop` bits.
template <int kBytes, bool kDescending>
void writeWordBytes(const uint8_t* words, int pixels, int drop, uint8_t* out) {
    writeWordsBy<kBytes, false>(words, pixels, out, [drop](uint32_t bytes) {
        return (kDescending ? __builtin_bswap32(bytes) : bytes) >> drop;
    });
}

// Each of the rows' rows written by writeRow(words, out).
template <typename WriteRow>
void forEachRow(const DirectColourRows& rows, WriteRow writeRow) {
    for (int r = 0; r < rows.rows; ++r) writeRow(rows.words + r * rows.wordStep, rows.out + r * rows.outStep);
}

// Writes by writeWordBytes where the plan's channels lie so; false for any other plan.
bool writeWordBytesRows(const DirectColourWords& plan, const DirectColourRows& rows) {
    const uint8_t blue = plan.pick[0], green = plan.pick[1], red = plan.pick[2];
    if (!plan.wholeBytes || plan.bytes < 3 || (plan.keep & 7) != 7) return false;
    const bool ascending = green == blue + 1 && red == blue + 2;
    const bool descending = green == red + 1 && blue == red + 2;
    if (!ascending && !descending) return false;
    // Descending from red at byte 0 or 1: reversed, red is at byte 3 or 2 of the four.
    const int drop = ascending ? 8 * blue : 8 * (1 - red);
    const auto write = plan.bytes == 3 ? (ascending ? writeWordBytes<3, false> : writeWordBytes<3, true>)
                                       : (ascending ? writeWordBytes<4, false> : writeWordBytes<4, true>);
    forEachRow(rows, [&](const uint8_t* words, uint8_t* out) { write(words, rows.pixels, drop, out); });
    return true;
}

// Eight pixels at once in lanes of 16, 32 and 64 bits, which the compiler puts in whatever vectors
// the machine has.
using Lanes16 = uint16_t __attribute__((vector_size(16)));
using Lanes32 = uint32_t __attribute__((vector_size(32)));
using Lanes64 = uint64_t __attribute__((vector_size(32)));

// What the lanes do for each channel (blue, green, red) of a plan of 2-byte words.
struct WordArithmetic {
    int shift[3], levelShift[3];
    Lanes16 top[3], factor[3], add[3];
};

// The 24 screen bytes of the eight words from `words` on.
template <bool kBigEndian>
inline void writeEightWords(const WordArithmetic& a, const uint8_t* words, uint8_t* out) {
    Lanes16 value;
    std::memcpy(&value, words, sizeof value);
    if constexpr (kBigEndian) value = value << 8 | value >> 8;
    const auto level = [&](int c) {
        return ((value >> a.shift[c] & a.top[c]) * a.factor[c] + a.add[c]) >> a.levelShift[c];
    };
    const Lanes32 colours = __builtin_convertvector(level(0) | level(1) << 8, Lanes32) |
                            __builtin_convertvector(level(2), Lanes32) << 16;
    // Each two pixels' six bytes side by side, then the four sixes in three 8-byte stores.
    const auto pairs = reinterpret_cast<Lanes64>(colours);
    const Lanes64 six = (pairs & 0xFFFFFF) | (pairs >> 8 & 0xFFFFFF000000);
    const uint64_t first = six[0] | six[1] << 48, second = six[1] >> 16 | six[2] << 32,
                   third = six[2] >> 32 | six[3] << 16;
    std::memcpy(out, &first, 8);
    std::memcpy(out + 8, &second, 8);
    std::memcpy(out + 16, &third, 8);
}

template <bool kBigEndian>
void writeWordArithmetic(const WordArithmetic& given, const uint8_t* words, int pixels, uint8_t* out) {
    // In a local: the stores through `out` could otherwise change it, for all the compiler knows.
    const WordArithmetic a = given;
    int x = 0;
    for (; x + 8 <= pixels; x += 8) writeEightWords<kBigEndian>(a, words + 2 * x, out + 3 * x);
    if (x == pixels) return;
    uint8_t last[16] = {}, screen[24];
    std::memcpy(last, words + 2 * x, 2 * static_cast<size_t>(pixels - x));
    writeEightWords<kBigEndian>(a, last, screen);
    std::memcpy(out + 3 * x, screen, 3 * static_cast<size_t>(pixels - x));
}

void writeWordArithmeticRows(const DirectColourWords& plan, const DirectColourRows& rows) {
    WordArithmetic a;
    for (int c = 0; c < 3; ++c) {
        a.shift[c] = plan.shift[c];
        a.levelShift[c] = plan.levelShift[c];
        const auto top = static_cast<uint16_t>((1u << plan.bits[c]) - 1);
        a.top[c] = Lanes16{} + top;
        a.factor[c] = Lanes16{} + plan.factor[c];
        a.add[c] = Lanes16{} + plan.add[c];
    }
    const auto write = plan.bigEndian ? writeWordArithmetic<true> : writeWordArithmetic<false>;
    forEachRow(rows, [&](const uint8_t* words, uint8_t* out) { write(a, words, rows.pixels, out); });
}

template <int kBytes, bool kBigEndian>
void writeWordRows(const DirectColourWords& plan, const DirectColourRows& rows) {
    forEachRow(rows, [&](const uint8_t* words, uint8_t* out) {
        writeWords<kBytes, kBigEndian>(plan, words, rows.pixels, out);
    });
}

}  // namespace

void writeDirectColours(const PixelKernels& kernels, const DirectColourWords& plan,
                        const DirectColourRows& rows) {
    if (directColours(kernels, plan, rows) || writeWordBytesRows(plan, rows)) return;
    switch (plan.bytes * 2 + plan.bigEndian) {
        case 4:
        case 5:
            return writeWordArithmeticRows(plan, rows);
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

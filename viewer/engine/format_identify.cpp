#include "viewer/engine/format_identify.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>

#include "viewer/engine/graphics_finder.h"
#include "viewer/engine/mode_table.h"

namespace {

// A stretch is judged on at most so many bytes
constexpr int64_t kJudgedBytes = 64 * 1024;
// and so many pixels.
constexpr int64_t kJudgedPixels = 256 * 1024;
// A picture is judged in bands of about so many bytes
constexpr int64_t kBandBytes = 2048;
// The picture has ended where a band scores this much less than the bands before it on average.
constexpr int kLeastBandDrop = 100;
// A format draws a picture where neighbouring pixels differ at most this share of random pairs.
constexpr int kLeastScore = 250;
// Pixels of up to so many bits are judged against those two on as well: ordered dithers shade them.
constexpr int kDitheredMostBits = 2;
// What a format's score loses for each doubling of its bits a pixel: pixels of a picture taken
// together as one value of twice the bits (two pixels of Binary as one of Atari GR.15) differ less
// than each alone, as they smooth its dither.
constexpr int kDoubledBitsCost = 20;
// Pixel pairs 01 and 10 differ in number by at most one in so many of them in a 1-bit picture
constexpr int64_t kPairBalanceDivisor = 10;
// and its format wins over a 2-bit one that scores at most this much more.
constexpr int kNearTie = 40;
const std::array<uint8_t, 256> kSameBytes = [] {
    std::array<uint8_t, 256> same{};
    for (int v = 0; v < 256; ++v) same[static_cast<size_t>(v)] = static_cast<uint8_t>(v);
    return same;
}();

// The pixel values the mode draws from the stretch at `width`, row after row, `columns` a row.
struct PixelGrid {
    int columns = 0;
    int64_t rows = 0;
    std::vector<uint8_t> values;
};

PixelGrid drawnPixels(const uint8_t* data, int64_t size, const ModeRow& row, int width) {
    PixelGrid grid;
    const bool tiled = row.layout == ModeLayout::Tiled;
    const int64_t rowBytes = int64_t{width} * row.unitBytes;  // bytes of a row of units
    grid.columns = width * row.unitPixels;
    const int64_t unitRows =
        std::min(size / rowBytes, kJudgedPixels / (int64_t{grid.columns} * row.unitHeight));
    grid.rows = unitRows * row.unitHeight;
    grid.values.resize(static_cast<size_t>(grid.rows * grid.columns));
    std::vector<uint8_t> packed(static_cast<size_t>(grid.columns) * row.packBits / 8 + 16);
    for (int64_t r = 0; r < unitRows; ++r)
        for (int y = 0; y < row.unitHeight; ++y) {
            uint8_t* out = grid.values.data() + (r * row.unitHeight + y) * grid.columns;
            const int units = tiled ? width : 1;
            const int pixels = tiled ? row.unitPixels : grid.columns;
            for (int u = 0; u < units; ++u) {
                const UnitBytes unit{data, size, kSameBytes.data(), r * rowBytes + int64_t{u} * row.unitBytes,
                                     width};
                decodeUnitRow(row, unit, y, pixels, packed.data());
                for (int x = 0; x < pixels; ++x)
                    out[u * pixels + x] = static_cast<uint8_t>(packedPixel(packed.data(), x, row.packBits));
            }
        }
    return grid;
}

// How much less pixels differ from the pixels `lag` on to the right and below than from pixels paired
// at random, in thousandths.
int likenessAt(const PixelGrid& grid, int lag) {
    const int64_t count = static_cast<int64_t>(grid.values.size());
    if (grid.rows <= lag || grid.columns <= lag) return 0;
    const auto at = [&](int64_t i) { return int{grid.values[static_cast<size_t>(i)]}; };
    int64_t neighbours = 0, random = 0;
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (int64_t y = 0; y + lag < grid.rows; ++y)
        for (int64_t x = 0; x + lag < grid.columns; ++x) {
            const int64_t i = y * grid.columns + x;
            neighbours += std::abs(at(i) - at(i + lag)) + std::abs(at(i) - at(i + lag * grid.columns));
            state = state * 6364136223846793005u + 1442695040888963407u;
            random +=
                2 * std::abs(at(i) - at(static_cast<int64_t>((state >> 33) % static_cast<uint64_t>(count))));
        }
    return random > 0 ? static_cast<int>(1000 - neighbours * 1000 / random) : 0;
}

// How much pixels resemble their neighbours: those next to them, or in a format of few bits a
// pixel, those two on if they resemble those more (an ordered dither alternates its pixels).
int likeness(const PixelGrid& grid, int bits) {
    const int next = likenessAt(grid, 1);
    return bits <= kDitheredMostBits ? std::max(next, likenessAt(grid, 2)) : next;
}

// The likeness of the picture from the stretch's first byte: bands of about kBandBytes are judged
// one after the other while each looks like a picture about as much as those before it (the data
// after a picture does not, nor another picture drawn in the wrong format), their likeness averaged;
// `judged` gets the bytes of the bands judged.
int leadingLikeness(const uint8_t* data, int64_t size, const ModeRow& row, int width, int64_t& judged) {
    const int64_t rowBytes = int64_t{width} * row.unitBytes;
    // A stretch shorter than a band is one band.
    const int64_t bandBytes = std::max<int64_t>(1, std::min(kBandBytes, size) / rowBytes) * rowBytes;
    int64_t sum = 0, bands = 0;
    for (int64_t band = 0; band + bandBytes <= size; band += bandBytes) {
        const int score = likeness(drawnPixels(data + band, bandBytes, row, width), row.bits);
        if (score < kLeastScore || (bands > 0 && score < sum / bands - kLeastBandDrop)) break;
        sum += score;
        ++bands;
    }
    judged = bands * bandBytes;
    return bands > 0 ? static_cast<int>(sum / bands) : 0;
}

// Whether the stretch's pixel pairs 01 and 10 (of two bits side by side in a byte) are about as
// frequent as each other: in a picture of one bit a pixel they are a grey's two orders, which
// dithering sets alike; in one of two bits, two colours, seldom as frequent.
bool pairsLikeOneBitPixels(const uint8_t* data, int64_t length) {
    int64_t ascending = 0, descending = 0;
    for (int64_t i = 0; i < length; ++i)
        for (int shift = 0; shift < 8; shift += 2) {
            const int pair = data[i] >> shift & 3;
            ascending += pair == 1;
            descending += pair == 2;
        }
    return std::abs(ascending - descending) * kPairBalanceDivisor <= ascending + descending;
}

// A format of two bits a pixel that takes the pixels of a format of one bit in pairs, as its units.
bool pairsPixelsOf(const ModeRow& two, const ModeRow& one) {
    return two.bits == 2 && one.bits == 1 && two.layout == one.layout && two.unitBytes == one.unitBytes &&
           two.unitHeight == one.unitHeight && 2 * two.unitPixels == one.unitPixels;
}

// Where the pixels of the picture both formats judged are pairs like a 1-bit picture's, a format of
// one bit wins a near tie with the format that takes its pixels in pairs at the same width: the
// pairs smooth its dither. `judged` gives each answer's bytes judged.
void preferOneBitPixels(std::vector<FormatAnswer>& answers, const std::vector<int64_t>& judged,
                        const uint8_t* stretch, const AddedModes* added) {
    for (size_t o = 0; o < answers.size(); ++o)
        for (size_t t = 0; t < answers.size(); ++t) {
            FormatAnswer& one = answers[o];
            const FormatAnswer& two = answers[t];
            if (two.width == one.width && two.score > one.score && two.score - one.score < kNearTie &&
                pairsPixelsOf(*modeRow(two.mode, added), *modeRow(one.mode, added)) &&
                pairsLikeOneBitPixels(stretch, std::min(judged[o], judged[t])))
                one.score = two.score + 1;
        }
}

}  // namespace

bool drawSamePixels(const ModeRow& a, const ModeRow& b) {
    if (a.layout != b.layout || a.unitPixels != b.unitPixels || a.unitHeight != b.unitHeight ||
        a.unitBytes != b.unitBytes || a.bits != b.bits)
        return false;
    std::array<uint8_t, 512> bytes{};
    uint64_t state = 12345;
    for (uint8_t& byte : bytes) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        byte = static_cast<uint8_t>(state >> 56);
    }
    const int width = std::max(1, static_cast<int>(256 / a.unitBytes / std::max(1, a.unitHeight)));
    const PixelGrid one = drawnPixels(bytes.data(), 512, a, width),
                    other = drawnPixels(bytes.data(), 512, b, width);
    return one.values == other.values;
}

std::vector<FormatAnswer> identifyFormats(const uint8_t* data, int64_t size, int64_t first, int64_t length,
                                          const AddedModes* added) {
    std::vector<FormatAnswer> answers;
    std::vector<int64_t> judged;  // each answer's bytes judged
    if (data == nullptr || first < 0 || first >= size || length <= 0) return answers;
    const uint8_t* stretch = data + first;
    const int64_t bytes = std::min({length, size - first, kJudgedBytes});
    for (int mode = 0; mode < modeCount(added); ++mode) {
        if (!finderJudgesMode(mode, added)) continue;
        const ModeRow& row = *modeRow(mode, added);
        bool seen = false;
        for (const FormatAnswer& answer : answers)
            seen = seen || drawSamePixels(*modeRow(answer.mode, added), row);
        const WidthGuess guess = seen ? WidthGuess{} : guessWidth(stretch, bytes, 0, mode, 256, added);
        if (guess.count == 0) continue;
        const int width = guess.candidates[0].width;
        // One tile a row draws any stretch whose bytes resemble the next ones as a smooth column.
        if (row.layout == ModeLayout::Tiled && width == 1) continue;
        int64_t judgedBytes = 0;
        const int score = leadingLikeness(stretch, bytes, row, width, judgedBytes);
        // Whole doublings: 1 bit a pixel 0, 2-3 bits 1, 4-7 (the Amiga's 32 colours too) 2, 8 bits 3.
        const int doublings = std::bit_width(static_cast<unsigned>(row.bits)) - 1;
        if (score >= kLeastScore) {
            answers.push_back({mode, width, score - kDoubledBitsCost * doublings});
            judged.push_back(judgedBytes);
        }
    }
    preferOneBitPixels(answers, judged, stretch, added);
    std::stable_sort(answers.begin(), answers.end(),
                     [](const FormatAnswer& a, const FormatAnswer& b) { return a.score > b.score; });
    return answers;
}

#include "viewer/engine/graphics_finder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

#if defined(__x86_64__) && defined(__linux__)
#include <immintrin.h>
#endif

namespace {

// Widths 1..kFinderLargestWidth + 1: the right neighbour of the largest width is needed too.
constexpr int kWidthSlots = kFinderLargestWidth + 2;
constexpr int64_t kBlock = 1024;
constexpr int kGuessBlocks = 8;
constexpr int kRegionBlocks = 4;
// At least so many rows are judged, however many blocks that takes: a block holds few rows of
// a wide picture, too few to tell whether they line up.
constexpr int64_t kGuessLeastRows = 32;
constexpr int64_t kRegionLeastJudgedRows = 16;
constexpr int64_t kScanSample = 256;
constexpr int kRandomEqualPairs = 240;
constexpr int kQuickWidths = 3;
// A sample is judged on densities at all widths, and on pixels too up to this width: a narrow
// row has few bytes, whose pixels tell more than their densities.
constexpr int kQuickPixelWidths = 64;
constexpr int64_t kScanStride = 512;  // a picture of 768 bytes holds a sample wholly
constexpr int64_t kLeastPairs = 96;
constexpr double kDivisorShare = 0.5;
constexpr double kRepeatLikeness = 0.8;
constexpr double kRepeatLeastScore = 0.5;
constexpr double kDivisorNoise = 1.0;
constexpr double kRowNeighbourLikeness = 1.25;
constexpr double kDivisorDensityShare = 0.25;
// A fill or a dithering pattern repeats along a row every few bytes, at most this many.
constexpr int kLongestRowPattern = 8;
constexpr int kDitherRows = 3;
constexpr int kFillPeriod = 4;
constexpr double kFillLikeness = 0.25;  // rows a dithering pattern repeats over
constexpr double kNoise = 2.0;
constexpr double kPixelWeight = 1.0;
constexpr double kAgreeingLeast = 0.05;
constexpr double kAgreeingShare = 0.35;
constexpr double kGuessLeastScore = 0.05;
constexpr double kGuessLeastEvidence = 0.03;
constexpr double kBlockLeastScore = 0.07;
constexpr double kBlockAgreeingScore = 0.05;
constexpr double kRegionLeastScore = 0.07;
constexpr double kFontLeastScore = 0.2;
constexpr int64_t kRegionLeastBytes = 1024;
constexpr int kRegionLeastRows = 24;  // repeated lines of text line up for a few rows
constexpr int kTallestGlyph = 32;
constexpr double kFontLikeness = 1.3;
constexpr int64_t kScanReach = 16 * 1024;
constexpr int64_t kFirstChunk = 64 * 1024;
constexpr int64_t kTextShareDivisor = 20;  // text: at most one byte in 20 not printable
constexpr int64_t kLongestLine = 160;
constexpr int kExtentRounds = 6;
constexpr int64_t kLongBlank = 1024;
constexpr int64_t kFontLeastBytes = 512;  // 96 glyphs of 8 rows
// Machine code lines up at some widths (instructions and records of one length) but its rows
// differ nearly as much as random bytes of it would; the rows of pictures differ far less.
constexpr int64_t kLiftBytes = 8 * 1024;
constexpr double kRegionLeastLift = 0.4;
// Or on densities alone, for regions and guesses alike: a dithered picture's rows keep their
// densities where their pixels vary.
constexpr double kLeastDensityLift = 0.45;
constexpr double kRoughLiftMargin = 0.1;
constexpr double kBlockLiftMargin = 0.2;
constexpr double kGuessLeastLift = 0.3;
// A sample of a picture resembles itself from byte to byte (its densities do where it is
// dithered); a sample of machine code barely, and it is passed over before the dearer looks.
constexpr double kSampleLeastLift = 0.25;
constexpr int64_t kGlyphEdgeDivisor = 16;  // glyphs: at most one byte in 16 sets that bit
// A whole font, box drawing and bold glyphs too: at most one byte in 4 sets that bit.
constexpr int64_t kFontEdgeDivisor = 4;
constexpr double kFontGuessLeastLift = 0.2;  // glyphs one byte wide differ more from byte to byte

int pixelsPerByte(int mode) {
    return mode == 0 ? 8 : mode == 3 ? 2 : 4;
}

int bitsPerPixel(int mode) {
    return 8 / pixelsPerByte(mode);
}

// Per colour mode, one set bit per pixel of a byte whose bits differ in x.
template <int Mode>
inline __attribute__((always_inline)) uint64_t differingPixels(uint64_t x) {
    if constexpr (Mode == 0) {
        return x;
    } else if constexpr (Mode == 3) {
        x |= x >> 1;
        x |= x >> 2;
        return x & 0x1111111111111111ULL;
    } else {
        return (x | x >> 1) & 0x5555555555555555ULL;
    }
}

// Per colour mode and byte x, the pixels that differ in two bytes whose bits differ in x.
struct DifferingTable {
    std::array<std::array<uint8_t, 256>, 4> count{};
    DifferingTable() {
        for (uint64_t x = 0; x < 256; ++x) {
            count[0][x] = static_cast<uint8_t>(std::popcount(differingPixels<0>(x)));
            count[1][x] = count[2][x] = static_cast<uint8_t>(std::popcount(differingPixels<1>(x)));
            count[3][x] = static_cast<uint8_t>(std::popcount(differingPixels<3>(x)));
        }
    }
};
const DifferingTable kDiffering;

int differingPixelCount(uint8_t a, uint8_t b, int mode) {
    return kDiffering.count[mode][a ^ b];
}

inline __attribute__((always_inline)) uint64_t load64(const uint8_t* p) {
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// The pixels that differ in the pairs p[i], p[i + w] for i in [from, n).
template <int Mode>
inline __attribute__((always_inline)) int64_t differingPixelsFrom(const uint8_t* p, int64_t from, int64_t n,
                                                                  int w) {
    int64_t sum = 0;
    int64_t i = from;
    for (; i + 8 <= n; i += 8) sum += std::popcount(differingPixels<Mode>(load64(p + i) ^ load64(p + i + w)));
    for (; i < n; ++i) sum += std::popcount(differingPixels<Mode>(uint64_t{p[i]} ^ uint64_t{p[i + w]}));
    return sum;
}

// Calls f with the pair loops' form of the colour mode as a constant: Binary, two-bit pixels (Atari
// GR.15 and BK-0010 alike) or Sam Coupe's four-bit ones.
template <typename F>
inline __attribute__((always_inline)) void withPixelMode(int mode, F f) {
    switch (mode) {
        case 0:
            return f(std::integral_constant<int, 0>{});
        case 3:
            return f(std::integral_constant<int, 3>{});
        default:
            return f(std::integral_constant<int, 1>{});
    }
}

// diff[w] += differing pixels of data[i] and data[i + w] for i in [begin, end(w)), where
// end(w) = min(end, size - w), w in [firstWidth, lastWidth]; pairs[w] counts the byte pairs.
template <int Mode>
inline __attribute__((always_inline)) void addPairsOfMode(const uint8_t* data, int64_t size, int64_t begin,
                                                          int64_t end, int firstWidth, int lastWidth,
                                                          int64_t* diff, int64_t* pairs) {
    for (int w = firstWidth; w <= lastWidth; ++w) {
        const int64_t stop = std::min(end, size - w);
        if (stop <= begin) break;
        diff[w] += differingPixelsFrom<Mode>(data + begin, 0, stop - begin, w);
        pairs[w] += stop - begin;
    }
}

// The pair loops in versions for processors that count bits, and that count bits and sum byte
// differences many lanes at a time; the one the processor runs is chosen at start, by the
// instruction sets it has (a version for a named processor model is chosen on that model only).
#if defined(__x86_64__) && defined(__linux__) && !defined(__clang__)
#define PL_PAIR_LOOP_CLONES __attribute__((target_clones("arch=x86-64-v4", "popcnt", "default")))
#else
#define PL_PAIR_LOOP_CLONES
#endif
// Counting the bits of many words at once is an extension of its own, which the clones above
// cannot ask for: that loop is chosen by hand.
#if defined(__x86_64__) && defined(__linux__)
#define PL_WIDE_BIT_COUNT __attribute__((target("avx512f,avx512vpopcntdq")))
#endif

#ifdef PL_WIDE_BIT_COUNT
using WideWords = uint64_t __attribute__((vector_size(64)));

// differingPixels on eight words at once. A function without the extension cannot take or give
// such a vector, so the steps are written out again here.
template <int Mode>
PL_WIDE_BIT_COUNT inline WideWords differingPixelsWide(WideWords x) {
    if constexpr (Mode == 0) {
        return x;
    } else if constexpr (Mode == 3) {
        x |= x >> 1;
        x |= x >> 2;
        return x & 0x1111111111111111ULL;
    } else {
        return (x | x >> 1) & 0x5555555555555555ULL;
    }
}

template <int Mode>
PL_WIDE_BIT_COUNT void addPairsWideOfMode(const uint8_t* data, int64_t size, int64_t begin, int64_t end,
                                          int firstWidth, int lastWidth, int64_t* diff, int64_t* pairs) {
    for (int w = firstWidth; w <= lastWidth; ++w) {
        const int64_t stop = std::min(end, size - w);
        if (stop <= begin) break;
        const uint8_t* p = data + begin;
        const int64_t n = stop - begin;
        WideWords counts{};
        int64_t i = 0;
        for (; i + 64 <= n; i += 64) {
            WideWords a, b;
            std::memcpy(&a, p + i, sizeof a);
            std::memcpy(&b, p + i + w, sizeof b);
            counts += reinterpret_cast<WideWords>(
                _mm512_popcnt_epi64(reinterpret_cast<__m512i>(differingPixelsWide<Mode>(a ^ b))));
        }
        int64_t sum = 0;
        for (int lane = 0; lane < 8; ++lane) sum += static_cast<int64_t>(counts[lane]);
        diff[w] += sum + differingPixelsFrom<Mode>(p, i, n, w);
        pairs[w] += n;
    }
}

PL_WIDE_BIT_COUNT void addPairsWide(const uint8_t* data, int64_t size, int64_t begin, int64_t end,
                                    int firstWidth, int lastWidth, int mode, int64_t* diff, int64_t* pairs) {
    withPixelMode(
        mode, [&](auto m) __attribute__((always_inline)) {
            addPairsWideOfMode<m()>(data, size, begin, end, firstWidth, lastWidth, diff, pairs);
        });
}

bool countsBitsWide() {
    static const bool wide = (__builtin_cpu_init(), __builtin_cpu_supports("avx512vpopcntdq"));
    return wide;
}
#endif

PL_PAIR_LOOP_CLONES
void addPairsNarrow(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int firstWidth,
                    int lastWidth, int mode, int64_t* diff, int64_t* pairs) {
    withPixelMode(
        mode, [&](auto m) __attribute__((always_inline)) {
            addPairsOfMode<m()>(data, size, begin, end, firstWidth, lastWidth, diff, pairs);
        });
}

void addPairs(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int firstWidth, int lastWidth,
              int mode, int64_t* diff, int64_t* pairs) {
#ifdef PL_WIDE_BIT_COUNT
    if (countsBitsWide())
        return addPairsWide(data, size, begin, end, firstWidth, lastWidth, mode, diff, pairs);
#endif
    addPairsNarrow(data, size, begin, end, firstWidth, lastWidth, mode, diff, pairs);
}

// What a stretch of bytes says about each width.
struct Profile {
    std::array<int64_t, kWidthSlots> diff{};
    std::array<int64_t, kWidthSlots> densityDiff{};  // in units of the mode's darkest step
    std::array<int64_t, kWidthSlots> pairs{};
    std::array<int64_t, 256> histogram{};
};

// The sum of a byte's pixel values: dithering keeps it where it changes the pixels.
struct DensityTable {
    std::array<std::array<uint8_t, 256>, 4> value{};
    std::array<int, 4> largest{8, 12, 12, 30};
    DensityTable() {
        for (int v = 0; v < 256; ++v) {
            value[0][v] = static_cast<uint8_t>(std::popcount(static_cast<unsigned>(v)));
            value[1][v] = value[2][v] =
                static_cast<uint8_t>((v & 3) + (v >> 2 & 3) + (v >> 4 & 3) + (v >> 6 & 3));
            value[3][v] = static_cast<uint8_t>((v & 15) + (v >> 4));
        }
    }
};
const DensityTable kDensity;

inline int absoluteDifference(uint8_t a, uint8_t b) {
    return std::abs(int{a} - int{b});  // in this form the compiler sums many at once (a SAD)
}

PL_PAIR_LOOP_CLONES
void addDensityPairs(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int widths, int mode,
                     int64_t* densityDiff) {
    const std::array<uint8_t, 256>& table = kDensity.value[mode];
    // The densities in a row of their own, so that the loops below run many pairs at a time.
    const int64_t last = std::min(size, end + widths);
    // A sample's row fits on the stack; a block's is made on the heap.
    std::array<uint8_t, kScanSample + kWidthSlots> small;
    std::vector<uint8_t> large;
    const auto count = static_cast<size_t>(last - begin);
    uint8_t* d = small.data();
    if (count > small.size()) {
        large.resize(count);
        d = large.data();
    }
    for (int64_t i = begin; i < last; ++i) d[i - begin] = table[data[i]];
    for (int w = 1; w <= widths; ++w) {
        const int64_t n = std::min(end, size - w) - begin;
        int sum = 0;  // at most 30 per pair, and n stays below 2^26
        int64_t i = 0;
        for (; i + 16 <= n; i += 16)  // whole runs of 16 pairs, which the compiler does at once
            for (int k = 0; k < 16; ++k) sum += absoluteDifference(d[i + k], d[i + k + w]);
        for (; i < n; ++i) sum += absoluteDifference(d[i], d[i + w]);
        densityDiff[w] += sum;
    }
}

// How often each of `Values` values occurs at [begin, end). Pictures repeat a few values over and
// over: counting into four tables in turn keeps each count's update from waiting on the one before.
template <size_t Values, typename ValueAt>
std::array<int64_t, Values> countInTurn(int64_t begin, int64_t end, ValueAt valueAt) {
    std::array<std::array<int64_t, Values>, 4> tallies{};
    int64_t i = begin;
    for (; i + 4 <= end; i += 4)
        for (int t = 0; t < 4; ++t) ++tallies[t][valueAt(i + t)];
    for (; i < end; ++i) ++tallies[0][valueAt(i)];
    std::array<int64_t, Values> counts{};
    for (size_t v = 0; v < Values; ++v)
        counts[v] = tallies[0][v] + tallies[1][v] + tallies[2][v] + tallies[3][v];
    return counts;
}

std::array<int64_t, 256> valueCounts(const uint8_t* data, int64_t size, int64_t begin, int64_t end) {
    return countInTurn<256>(std::max<int64_t>(begin, 0), std::min(end, size),
                            [&](int64_t i) { return data[i]; });
}

void measure(Profile& profile, const uint8_t* data, int64_t size, int64_t begin, int64_t end, int widths,
             int mode) {
    profile.histogram = valueCounts(data, size, begin, end);
    addPairs(data, size, begin, end, 1, widths, mode, profile.diff.data(), profile.pairs.data());
    addDensityPairs(data, size, begin, end, widths, mode, profile.densityDiff.data());
}

// Per pixel value, how many pixels take it.
using PixelValueCounts = std::array<int64_t, 16>;

// The share of pixel pairs that would differ if pixels were drawn at random with these counts;
// 0 for no pixels or a single value.
double differenceOfRandomPixels(const PixelValueCounts& counts, int mode) {
    const int values = 1 << bitsPerPixel(mode);
    int64_t total = 0;
    for (int v = 0; v < values; ++v) total += counts[v];
    if (total == 0) return 0;
    double same = 0;
    for (int v = 0; v < values; ++v) {
        const double share = static_cast<double>(counts[v]) / static_cast<double>(total);
        same += share * share;
    }
    return 1.0 - same;
}

// The share of pixel pairs that would differ if pixels were drawn at random with the
// frequencies of this stretch; 0 for a flat stretch.
double expectedDifference(const std::array<int64_t, 256>& histogram, int mode) {
    const int bits = bitsPerPixel(mode);
    const int values = 1 << bits;
    PixelValueCounts counts{};
    int64_t bytes = 0;
    for (int v = 0; v < 256; ++v) {
        const int64_t n = histogram[v];
        if (n == 0) continue;
        bytes += n;
        if (mode == 0) {
            counts[1] += n * kDensity.value[0][v];  // the set bits, from a table
        } else {
            for (int shift = 0; shift < 8; shift += bits) counts[(v >> shift) & (values - 1)] += n;
        }
    }
    if (mode == 0) counts[0] = bytes * 8 - counts[1];
    return differenceOfRandomPixels(counts, mode);
}

// Per byte, how many of its four 2-bit pixels take each value, in the 16-bit lanes of a word
// (value v in bits 16v..16v+15), so that a stretch of up to 16383 bytes is counted by adding.
struct TwoBitPixelLanes {
    std::array<uint64_t, 256> lanes{};
    TwoBitPixelLanes() {
        for (int v = 0; v < 256; ++v)
            for (int shift = 0; shift < 8; shift += 2) lanes[v] += uint64_t{1} << (16 * (v >> shift & 3));
    }
};
const TwoBitPixelLanes kTwoBitPixelLanes;

struct WidthScores {
    std::array<double, kWidthSlots> score{};
    std::array<double, kWidthSlots> difference{};    // per byte pair, pixels and densities
    std::array<double, kWidthSlots> densityScore{};  // the score on densities alone
    int widths = 0;                                  // scored widths: 1..widths
    double expected = 0;
    int64_t bytes = 0;
    int blocks = 0;  // blocks of kBlock bytes judged
};

// How much less the rows differ at a width than at the widths beside it (`neighbour`, the lesser
// of their differences), as a share of that; 0 where the neighbours do not differ at all.
double peakScore(double here, double neighbour) {
    return neighbour > 0 ? (neighbour - here) / neighbour : 0;
}

// The share of the difference between a pixel and its diagonal neighbours one row on that
// vanishes straight below it, on pixels and densities or on densities alone, whichever is
// larger: the rows of a dithered picture keep their densities where their pixels vary, so that
// its pixels can differ as much below a byte as beside it.
WidthScores scoreWidths(const Profile& profile, int mode, int maxWidth) {
    WidthScores scores;
    scores.expected = expectedDifference(profile.histogram, mode);
    for (int v = 0; v < 256; ++v) scores.bytes += profile.histogram[v];
    if (scores.expected <= 0) return scores;
    const double pixelUnit = kPixelWeight / pixelsPerByte(mode);
    const double densityUnit = 1.0 / kDensity.largest[mode];
    std::array<double, kWidthSlots> difference{}, densityDifference{};
    int widths = 0;
    for (int w = 1; w <= maxWidth + 1 && profile.pairs[w] >= kLeastPairs; ++w, ++widths) {
        const double perPair = 1.0 / static_cast<double>(profile.pairs[w]);
        densityDifference[w] = static_cast<double>(profile.densityDiff[w]) * densityUnit * perPair;
        difference[w] = static_cast<double>(profile.diff[w]) * pixelUnit * perPair + densityDifference[w];
    }
    for (int w = 2; w < widths; ++w) {
        auto peak = [w](const std::array<double, kWidthSlots>& d) {
            return peakScore(d[w], std::min(d[w - 1], d[w + 1]));
        };
        scores.densityScore[w] = peak(densityDifference);
        scores.score[w] = std::max(peak(difference), scores.densityScore[w]);
        scores.widths = w;
    }
    scores.difference = difference;
    return scores;
}

// Width 1 is left out: it has no neighbour below it.
int bestWidth(const WidthScores& scores) {
    int best = 0;
    for (int w = 2; w <= scores.widths; ++w)
        if (best == 0 || scores.score[w] > scores.score[best]) best = w;
    return best;
}

// What noise alone could give as a score over so many bytes.
double noiseScore(const WidthScores& scores) {
    return kNoise / std::sqrt(static_cast<double>(std::max<int64_t>(scores.bytes, 1)));
}

// Rows that line up at w line up at every multiple of w too: the smallest width whose
// peak is nearly as clear as the best one is the picture's. Dithered rows often resemble
// the row two or three on more than the next one, so a multiple peaks higher; then the width's
// other multiples still peak clear of noise, and a byte resembles the one below it about as
// much as the one beside it, while a byte half a row on (a picture of repeated halves)
// resembles it far less; and, for a divisor short enough to be the period of a pattern repeated
// along the rows (which lines up on pixels at every multiple of it, but not on densities), its
// densities, which dithering keeps, still line up at least a quarter as clearly as at the
// multiple. A longer divisor is no such period, and the densities of a dithered picture need not
// line up at its width where its pixels do.
int smallestLinedUpWidth(const WidthScores& scores, int best) {
    const double share = kDivisorShare * scores.score[best];
    const double noise = kDivisorNoise * noiseScore(scores);
    // The multiples of d up to twice `best` that are no multiples of it line up only if d does.
    auto multiplesClear = [&](int d) {
        double sum = 0;
        int count = 0;
        for (int m = d; m <= std::min(scores.widths, 2 * best); m += d) {
            if (m % best == 0) continue;
            sum += scores.score[m];
            ++count;
        }
        return count > 0 && sum >= noise * count;
    };
    for (int d = 2; d < best; ++d) {
        if (best % d != 0) continue;
        if (scores.score[d] >= share ||
            (d * kDitherRows >= best &&
             scores.difference[d] <= kRowNeighbourLikeness * scores.difference[1] && multiplesClear(d) &&
             (d > kLongestRowPattern ||
              scores.densityScore[d] >= kDivisorDensityShare * scores.densityScore[best])))
            return d;
    }
    return best;
}

// The width the rows line up at: the smallest lined-up divisor of the best width; 0 for none.
int linedUpWidth(const WidthScores& scores) {
    const int best = bestWidth(scores);
    return best > 0 ? smallestLinedUpWidth(scores, best) : 0;
}

int thousandths(double value) {
    return static_cast<int>(std::lround(std::clamp(value, -1.0, 1.0) * 1000));
}

// Glyphs of a font one byte wide leave a column blank beside them, so that in most of their
// bytes the leftmost or the rightmost bit is clear.
bool looksLikeGlyphs(const uint8_t* data, int64_t begin, int64_t end, int64_t edgeDivisor) {
    int64_t left = 0, right = 0;
    for (int64_t i = begin; i < end; ++i) {
        left += data[i] >> 7;
        right += data[i] & 1;
    }
    return std::min(left, right) * edgeDivisor <= end - begin;
}

// A font one byte wide (8 one-bit pixels a row) lines up at its glyph height too, and there
// each glyph lies in one row of the view; its bytes resemble the next byte about as much, and
// its glyphs leave a column mostly blank, which the bytes of a narrow picture seldom do.
bool isNarrowFont(const WidthScores& scores, int mode, int height, const uint8_t* data, int64_t first) {
    return mode == 0 && height <= kTallestGlyph &&
           scores.difference[1] <= kFontLikeness * scores.difference[height] &&
           looksLikeGlyphs(data, first, first + scores.bytes, kFontEdgeDivisor);
}

WidthGuess guessFromScores(const WidthScores& scores, int mode, const uint8_t* data, int64_t first) {
    WidthGuess guess{};
    const int best = bestWidth(scores);
    if (best == 0 || scores.score[best] < kGuessLeastScore) return guess;
    const int linedUp = smallestLinedUpWidth(scores, best);
    const int width = isNarrowFont(scores, mode, linedUp, data, first) ? 1 : linedUp;
    // A width chosen for its multiples is as certain as the clearest of them.
    guess.candidates[0] = {width, thousandths(std::max(scores.score[linedUp], scores.score[best]))};
    guess.count = 1;
    std::array<bool, kWidthSlots> taken{};
    taken[width] = true;
    while (guess.count < static_cast<int>(guess.candidates.size())) {
        int next = 0;
        for (int w = 1; w <= scores.widths; ++w)
            if (!taken[w] && (next == 0 || scores.score[w] > scores.score[next])) next = w;
        if (next == 0) break;
        taken[next] = true;
        guess.candidates[guess.count++] = {next, thousandths(scores.score[next])};
    }
    return guess;
}

int clampWidth(int32_t maxWidth) {
    return std::clamp<int32_t>(maxWidth, 1, kFinderLargestWidth);
}

// The score less what noise alone could give over so many bytes.
double evidenceOf(const WidthScores& scores, const WidthCandidate& candidate) {
    return candidate.score / 1000.0 - noiseScore(scores);
}

void addProfile(Profile& into, const Profile& more) {
    for (int w = 0; w < kWidthSlots; ++w) {
        into.diff[w] += more.diff[w];
        into.densityDiff[w] += more.densityDiff[w];
        into.pairs[w] += more.pairs[w];
    }
    for (int v = 0; v < 256; ++v) into.histogram[v] += more.histogram[v];
}

bool isFlat(const uint8_t* data, int64_t first, int64_t end) {
    for (int64_t i = first + 1; i < end; ++i)
        if (data[i] != data[first]) return false;
    return true;
}
// How much clearer the rows of [begin, end) line up at `width` than at the widths beside it,
// judged as scoreWidths judges them, on pixels and densities or on densities alone, whichever is
// larger; 0 for a flat stretch.
double linedUpScoreAt(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int width, int mode) {
    if (isFlat(data, begin, end)) return 0;
    std::array<int64_t, kWidthSlots> diff{}, pairs{};
    const int firstWidth = std::max(1, width - 1);
    addPairs(data, size, begin, end, firstWidth, width + 1, mode, diff.data(), pairs.data());
    if (pairs[width + 1] < kLeastPairs) return 0;
    const std::array<uint8_t, 256>& density = kDensity.value[mode];
    struct Difference {
        double all, densities;  // per pair
    };
    auto difference = [&](int w) {
        int64_t densitySum = 0;
        for (int64_t i = begin; i < begin + pairs[w]; ++i)
            densitySum += absoluteDifference(density[data[i]], density[data[i + w]]);
        const double perPair = 1.0 / static_cast<double>(pairs[w]);
        const double densities = static_cast<double>(densitySum) / kDensity.largest[mode] * perPair;
        return Difference{
            static_cast<double>(diff[w]) * kPixelWeight / pixelsPerByte(mode) * perPair + densities,
            densities};
    };
    const Difference at = difference(width);
    const Difference before = difference(width > 1 ? width - 1 : 2);
    const Difference after = width > 1 ? difference(width + 1) : before;
    return std::max(peakScore(at.all, std::min(before.all, after.all)),
                    peakScore(at.densities, std::min(before.densities, after.densities)));
}

// How much less the rows of [begin, end) differ at `width` than bytes drawn at random from the
// stretch would: on pixels and densities together, and on densities alone. Rows of pictures
// resemble each other far more, a stretch of machine code that happens to line up at some width
// barely; the rows of a dithered picture keep their densities where their pixels vary.
struct Lift {
    double all = 1;
    double densities = 1;
};

// Whether a lift clears `leastAll` on pixels and densities, or the least lift on densities alone,
// each less `margin`.
bool lifted(const Lift& lift, double leastAll, double margin = 0) {
    return lift.all >= leastAll - margin || lift.densities >= kLeastDensityLift - margin;
}

Lift liftAt(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int width, int mode) {
    end = std::min({end, size - width, begin + kLiftBytes});
    if (end - begin < kLeastPairs) return {};
    const std::array<uint8_t, 256>& density = kDensity.value[mode];
    std::array<int64_t, 32> densities{};
    PixelValueCounts pixelValues{};
    uint64_t twoBitLanes = 0;  // at most 4 x kLiftBytes in a lane
    int64_t pixelSum = 0, densitySum = 0;
    for (int64_t i = begin; i < end; ++i) {
        ++densities[density[data[i]]];
        if (mode == 3) {
            ++pixelValues[data[i] >> 4];
            ++pixelValues[data[i] & 15];
        } else if (mode != 0) {
            twoBitLanes += kTwoBitPixelLanes.lanes[data[i]];
        }
        pixelSum += differingPixelCount(data[i], data[i + width], mode);
        densitySum += absoluteDifference(density[data[i]], density[data[i + width]]);
    }
    const auto pairs = static_cast<double>(end - begin);
    if (mode == 0) {
        for (int a = 0; a <= 8; ++a) pixelValues[1] += a * densities[a];  // a byte's density is its set bits
        pixelValues[0] = 8 * (end - begin) - pixelValues[1];
    } else if (mode != 3) {
        for (int v = 0; v < 4; ++v) pixelValues[v] = static_cast<int64_t>(twoBitLanes >> (16 * v) & 0xFFFF);
    }
    // The sum over all ordered pairs of densities a > b of (a - b), twice: each density a pairs
    // with the count and the sum of the densities below it.
    double randomDensity = 0, below = 0, belowSum = 0;
    for (int a = 0; a <= kDensity.largest[mode]; ++a) {
        const auto n = static_cast<double>(densities[a]);
        randomDensity += 2 * n * (a * below - belowSum);
        below += n;
        belowSum += n * a;
    }
    randomDensity /= pairs * pairs;
    const double densityUnit = 1.0 / kDensity.largest[mode];
    const double random =
        differenceOfRandomPixels(pixelValues, mode) * kPixelWeight + randomDensity * densityUnit;
    const double actual = (static_cast<double>(pixelSum) * kPixelWeight / pixelsPerByte(mode) +
                           static_cast<double>(densitySum) * densityUnit) /
                          pairs;
    const double actualDensity = static_cast<double>(densitySum) / pairs;
    return {random > 0 ? 1.0 - actual / random : 1,
            randomDensity > 0 ? 1.0 - actualDensity / randomDensity : 1};
}

// Whether a block's own scores agree that rows line up at `width` about as clearly as the whole
// window says; a flat block (a blank margin) does not disagree.
bool blockScoresAgree(const WidthScores& scores, int width, double windowScore) {
    if (scores.expected <= 0 || scores.widths < width) return scores.expected <= 0;
    return scores.score[width] >= std::max(kAgreeingLeast, kAgreeingShare * windowScore);
}

bool blockProfileAgrees(const Profile& block, int mode, int width, double windowScore) {
    return blockScoresAgree(scoreWidths(block, mode, width), width, windowScore);
}

// Whether rows of `width` bytes line up as clearly a divisor of the width on: bytes that repeat
// along their rows (a table of short records, a fill, dithering).
bool repeatsWithinRows(const WidthScores& scores, int width) {
    for (int d = 2; d < width && d <= scores.widths; ++d)
        if (width % d == 0 &&
            scores.score[d] >= std::max(kRepeatLeastScore, kRepeatLikeness * scores.score[width]))
            return true;
    return false;
}

// Whether the block at `begin` lines up at `width` about as clearly as the window the width was
// judged on, its rows lifted clear of random pairs; a blank block does not (it parts two pictures),
// nor one that repeats along its rows where the window did not (a table in the code beside it).
bool blockAgrees(const uint8_t* data, int64_t size, int64_t begin, int width, int mode,
                 const WidthScores& window) {
    if (isFlat(data, begin, std::min(size, begin + kBlock))) return false;
    Profile block;
    measure(block, data, size, begin, std::min(size, begin + kBlock), width + 1, mode);
    const WidthScores scores = scoreWidths(block, mode, width);
    if (!blockScoresAgree(scores, width, window.score[width])) return false;
    if (repeatsWithinRows(scores, width) && !repeatsWithinRows(window, width)) return false;
    // Machine code after a picture can line up at its width by chance, but its rows are lifted
    // far less, as a region's rough extent may not be.
    return lifted(liftAt(data, size, begin, std::min(size, begin + kBlock), width, mode), kRegionLeastLift,
                  kRoughLiftMargin);
}

// The scores of the picture that starts at `first`: judged first on two blocks, then on the
// blocks from `first` that agree with that judgement, again until the two settle. So a
// picture that ends early, in noise or in another picture, is judged on its own bytes.
WidthScores scoreFromFirstByte(const uint8_t* data, int64_t size, int64_t first, int mode, int maxWidth,
                               int64_t leastRows, int maxBlocks) {
    if (first < 0 || first >= size) return {};
    const int64_t available = size - first;
    const int inReach = static_cast<int>(std::min<int64_t>(maxBlocks, (available + kBlock - 1) / kBlock));
    // The blocks up to the first blank one after the picture has begun: a blank block parts
    // two pictures.
    auto blankBlock = [&](int b) {
        const int64_t begin = first + int64_t{b} * kBlock;
        return isFlat(data, begin, std::min(size, begin + kBlock));
    };
    int blocks = 0;
    while (blocks < inReach && blankBlock(blocks)) ++blocks;
    while (blocks < inReach && !blankBlock(blocks)) ++blocks;
    // Blocks are measured when first needed: a stretch that is no picture costs two or three.
    std::vector<Profile> profiles;
    auto profileOf = [&](int b) -> const Profile& {
        while (static_cast<int>(profiles.size()) <= b) {
            const int64_t begin = first + static_cast<int64_t>(profiles.size()) * kBlock;
            profiles.emplace_back();
            measure(profiles.back(), data, size, begin, std::min(size, begin + kBlock), maxWidth + 1, mode);
        }
        return profiles[b];
    };
    // A dithered fill at the top of a picture (a sky, a margin) repeats every few bytes; like a
    // blank margin, it tells nothing of the rows, so the width is judged on the blocks after it.
    auto isFill = [&](int b) {
        const WidthScores fill = scoreWidths(profileOf(b), mode, kFillPeriod);
        for (int w = 2; w <= fill.widths; ++w)
            if (fill.difference[w] <= kFillLikeness * fill.difference[1]) return true;
        return false;
    };
    int lead = 0;
    while (lead + 1 < blocks && isFill(lead)) ++lead;
    auto windowScores = [&](int count) {
        Profile sum;
        for (int b = std::min(lead, count - 1); b < count; ++b) addProfile(sum, profileOf(b));
        return scoreWidths(sum, mode, maxWidth);
    };
    int window = std::min(lead + 2, blocks);
    WidthScores scores = windowScores(window);
    for (int round = 0; round < 4; ++round) {
        const int width = linedUpWidth(scores);
        if (width == 0) break;
        int agreeing = lead;
        while (agreeing < blocks && blockProfileAgrees(profileOf(agreeing), mode, width, scores.score[width]))
            ++agreeing;
        const auto leastBlocks = static_cast<int>((leastRows * width + kBlock - 1) / kBlock);
        agreeing = std::max(agreeing, std::min(lead + leastBlocks, blocks));
        if (agreeing == window) break;
        window = agreeing;
        scores = windowScores(window);
    }
    scores.blocks = window;
    // A dithered fill that is not exact enough to be passed over (a grey background with a few
    // things drawn on it) lines up at its period of a few bytes, and blocks of it agree on that
    // period alone. When all the blocks in reach together line up at a multiple of the period
    // and no longer at the period itself, and the block after the judged ones agrees with the
    // multiple as a region's next block must (where a narrow picture ends in machine code, all
    // the blocks can line up at a multiple by chance), the multiple is the picture's width. The
    // block after is asked first on the period alone, which costs little: a narrow picture's rows
    // line up there, or it is no longer the picture's.
    const int width = linedUpWidth(scores);
    const int64_t after = first + int64_t{window} * kBlock;
    if (width > 0 && width <= kFillPeriod && window < blocks &&
        linedUpScoreAt(data, size, after, std::min(size, after + kBlock), width, mode) < 0) {
        const WidthScores all = windowScores(blocks);
        const int allWidth = linedUpWidth(all);
        if (allWidth > width && allWidth % width == 0 && all.score[width] < 0 &&
            blockAgrees(data, size, after, allWidth, mode, all)) {
            scores = all;
            scores.blocks = blocks;
        }
    }
    return scores;
}

using QuickWidths = std::array<int, kQuickWidths>;

struct Extent {
    int64_t first;
    int64_t end;
};

// Pairs of bytes are told apart by how many of their pixels differ and by how much the pixel
// values differ in all: kind = sum * (pixels per byte + 1) + count.
constexpr int kPairKinds = 93;  // sums up to 30 (two 4-bit pixels), counts up to 2
// The pairs judged at a picture's edges: a byte and the byte beside it, and the byte one row on.
constexpr int kPairSteps = 2;
constexpr double kLargestLogOdds = 4;
constexpr int64_t kLearnBytes = 8 * 1024;
// Phases this many bytes either side of the edges' likeliest are weighed on where the rows wrap too.
constexpr int kWrapReach = 5;
// Narrower rows have no phase beyond that reach: the wraps would outweigh the edges at every one.
constexpr int kWrapLeastWidth = 2 * kWrapReach + 2;
constexpr double kWrapWeight = 0.1;  // per row, of a wrap's pixel steps at full scale

int64_t pairStep(int k, int width) {
    return k == 0 ? 1 : int64_t{k} * width;
}

// Per colour mode (Atari GR.15 and BK-0010 alike: the kind does not depend on the pixels'
// order), the kind of each pair of bytes. A kind sums one share per pair of pixels (the
// difference times pixels per byte + 1, plus 1 where they differ), so it is the share of the
// bytes' low nibbles plus that of their high nibbles.
struct PairKindTable {
    std::array<std::array<uint8_t, 256 * 256>, 3> kind{};
    PairKindTable() {
        for (int table = 0; table < 3; ++table) {
            const int pixels = table == 0 ? 8 : table == 1 ? 4 : 2;
            const int bits = 8 / pixels;
            const int mask = (1 << bits) - 1;
            std::array<uint8_t, 256> share{};  // at a * 16 + b for nibbles a and b
            for (int a = 0; a < 16; ++a)
                for (int b = 0; b < 16; ++b)
                    for (int shift = 0; shift < 4; shift += bits) {
                        const int d = std::abs((a >> shift & mask) - (b >> shift & mask));
                        share[a * 16 + b] =
                            static_cast<uint8_t>(share[a * 16 + b] + d * (pixels + 1) + (d != 0));
                    }
            for (int a = 0; a < 256; ++a)
                for (int b = 0; b < 256; ++b)
                    kind[table][a * 256 + b] = static_cast<uint8_t>(share[(a & 15) * 16 + (b & 15)] +
                                                                    share[(a >> 4) * 16 + (b >> 4)]);
        }
    }
};

const std::array<uint8_t, 256 * 256>& pairKinds(int mode) {
    static const PairKindTable table;  // built when first asked for: only the edges use it
    return table.kind[mode == 0 ? 0 : mode == 3 ? 2 : 1];
}

using KindCounts = std::array<double, kPairKinds>;
using KindOdds = std::array<double, kPairKinds>;

// Log shares of the things counted (kinds of pairs, byte values), a half added to each count so
// that none is ruled out.
template <typename Count, size_t N>
std::array<double, N> logShares(const std::array<Count, N>& counts) {
    double total = 0;
    for (const Count n : counts) total += static_cast<double>(n) + 0.5;
    // Most kinds and values are never counted: their share is worked out once.
    const double uncounted = std::log(0.5 / total);
    std::array<double, N> logs{};
    for (size_t k = 0; k < N; ++k)
        logs[k] = counts[k] == 0 ? uncounted : std::log((static_cast<double>(counts[k]) + 0.5) / total);
    return logs;
}

std::array<int64_t, kPairKinds> pairKindCounts(const uint8_t* data, int64_t size, Extent extent, int64_t step,
                                               int mode) {
    const std::array<uint8_t, 256 * 256>& kinds = pairKinds(mode);
    return countInTurn<kPairKinds>(std::max<int64_t>(extent.first, 0),
                                   std::min(extent.end - step, size - step),
                                   [&](int64_t i) { return kinds[data[i] * 256 + data[i + step]]; });
}

// The kinds of pairs of two bytes drawn at random, one from each histogram, weighing as many
// pairs as the smaller histogram holds bytes.
KindCounts unrelatedKindCounts(const std::array<int64_t, 256>& a, const std::array<int64_t, 256>& b,
                               int mode) {
    const std::array<uint8_t, 256 * 256>& kinds = pairKinds(mode);
    KindCounts counts{};
    std::array<int, 256> valuesOfB{};
    int distinctB = 0;
    int64_t totalA = 0, totalB = 0;
    for (int v = 0; v < 256; ++v) {
        totalA += a[v];
        totalB += b[v];
        if (b[v] != 0) valuesOfB[distinctB++] = v;
    }
    if (totalA == 0 || totalB == 0) return counts;
    for (int x = 0; x < 256; ++x) {
        if (a[x] == 0) continue;
        for (int j = 0; j < distinctB; ++j) {
            const int y = valuesOfB[j];
            counts[kinds[x * 256 + y]] += static_cast<double>(a[x]) * static_cast<double>(b[y]);
        }
    }
    const double scale = static_cast<double>(std::min(totalA, totalB)) /
                         (static_cast<double>(totalA) * static_cast<double>(totalB));
    for (double& n : counts) n *= scale;
    return counts;
}

double clampedLog(double value) {
    return std::clamp(value, -kLargestLogOdds, kLargestLogOdds);
}

// What tells a picture's bytes from those on one side of it: log shares of the pair kinds
// inside (per step), of a byte of the picture paired with a byte of the data around it, and of
// two bytes of the data around it, which are taken as unrelated: where the rough extent ends
// too early, the data "around" it holds rows of the picture, whose pairs must not count as
// the data's own. And per byte value, how much likelier it is inside than around.
struct EdgeOdds {
    std::array<KindOdds, kPairSteps> inside{};
    KindOdds across{};
    KindOdds outside{};
    std::array<double, 256> value{};
};

// What the picture's bytes are like, learned from a stretch of it.
struct PictureModel {
    std::array<KindOdds, kPairSteps> pairs{};
    std::array<int64_t, 256> values{};
    std::array<double, 256> valueLogs{};  // log shares of the values
};

PictureModel pictureModel(const uint8_t* data, int64_t size, Extent learn, int width, int mode) {
    PictureModel model;
    for (int k = 0; k < kPairSteps; ++k)
        model.pairs[k] = logShares(pairKindCounts(data, size, learn, pairStep(k, width), mode));
    model.values = valueCounts(data, size, learn.first, learn.end);
    model.valueLogs = logShares(model.values);
    return model;
}

// The data beside a picture, learned once: its byte values, their log shares, and its pairs.
struct Surroundings {
    std::array<int64_t, 256> values{};
    std::array<double, 256> valueLogs{};
    KindOdds pairs{};
};

Surroundings surroundings(const uint8_t* data, int64_t size, Extent extent, int mode) {
    Surroundings around;
    around.values = valueCounts(data, size, extent.first, extent.end);
    around.valueLogs = logShares(around.values);
    around.pairs = logShares(unrelatedKindCounts(around.values, around.values, mode));
    return around;
}

EdgeOdds edgeOdds(const PictureModel& picture, const Surroundings& around, int mode) {
    EdgeOdds odds;
    odds.inside = picture.pairs;
    odds.across = logShares(unrelatedKindCounts(picture.values, around.values, mode));
    odds.outside = around.pairs;
    for (int v = 0; v < 256; ++v) odds.value[v] = clampedLog(picture.valueLogs[v] - around.valueLogs[v]);
    return odds;
}

// Whether a run of one value kLongBlank bytes long may reach into [begin, end). Such a run has
// kLongBlank bytes within kLongBlank - 1 of any byte of it, and so as many words of eight equal
// bytes in a row as fit whole in kLongBlank bytes at any alignment; most stretches have none.
bool mayHoldLongBlank(const uint8_t* data, int64_t size, int64_t begin, int64_t end) {
    constexpr int64_t kLeastWords = (kLongBlank - 2 * 7) / 8;
    const int64_t from = std::max<int64_t>(0, begin - (kLongBlank - 1)) / 8 * 8;
    const int64_t to = std::min(size, end + (kLongBlank - 1));
    int64_t streak = 0;
    uint64_t last = 0;
    for (int64_t i = from; i + 8 <= to; i += 8) {
        const uint64_t word = load64(data + i);
        const bool flat = word == (word & 0xFF) * 0x0101010101010101ULL;
        streak = flat && (streak == 0 || word == last) ? streak + 1 : flat ? 1 : 0;
        last = word;
        if (streak >= kLeastWords) return true;
    }
    return false;
}

// Which bytes of [begin, end) lie in a run of one value kLongBlank bytes long or longer.
std::vector<uint8_t> longBlankBytes(const uint8_t* data, int64_t size, int64_t begin, int64_t end) {
    std::vector<uint8_t> inLongBlank(static_cast<size_t>(end - begin), 0);
    if (!mayHoldLongBlank(data, size, begin, end)) return inLongBlank;
    for (int64_t i = begin; i < end;) {
        int64_t first = i, last = i + 1;
        while (first > 0 && data[first - 1] == data[i]) --first;
        while (last < size && data[last] == data[i]) ++last;
        const auto stop = std::min(last, end);
        if (last - first >= kLongBlank)
            std::fill(inLongBlank.begin() + (i - begin), inLongBlank.begin() + (stop - begin), 1);
        i = stop;
    }
    return inLongBlank;
}

// Per edge e in [lowest, highest], the log likelihood (less one that does not depend on e) of
// the bytes around it when the picture lies after it (a start) or before it (an end). A byte
// inside is likely as the picture's values are and pairs with the bytes a step on as the
// picture's bytes do; a pair across the edge as a byte of the picture and one of the data
// beside it would; the bytes beside it as that data's. A long blank run parts pictures rather
// than belonging to one: its bytes count as outside.
std::vector<double> edgeScores(const uint8_t* data, int64_t size, int64_t lowest, int64_t highest, int width,
                               int mode, const EdgeOdds& odds, bool atStart) {
    const std::array<uint8_t, 256 * 256>& kinds = pairKinds(mode);
    // The terms of the bytes from `begin` on: for a start the sums run from the end, so that
    // they sum the bytes after e; for an end from `begin`, so that they sum those before e.
    const int64_t begin = std::max<int64_t>(0, lowest - pairStep(kPairSteps - 1, width));
    const int64_t end = atStart ? highest + 1 : highest;
    const std::vector<uint8_t> inLongBlank = longBlankBytes(data, size, begin, end);
    // For a start at e, the bytes and the pairs that begin from e on lie inside, and the pairs
    // that begin from e - step on reach into the picture (or lie inside); for an end at e, the
    // bytes before e lie inside and the pairs that begin before e reach across (or lie inside),
    // while those wholly inside begin before e - step. Term 0 of a byte is summed from e, term
    // 1 + k from e - step k.
    constexpr int kTerms = 1 + kPairSteps;
    std::array<KindOdds, kPairSteps> fromEdge{}, fromStepBack{};
    std::array<int64_t, kPairSteps> step{}, paired{};  // pairs of step k begin in [begin, paired[k])
    for (int k = 0; k < kPairSteps; ++k) {
        KindOdds insideOdds{}, reachingOdds{};
        for (int kind = 0; kind < kPairKinds; ++kind) {
            insideOdds[kind] = clampedLog(odds.inside[k][kind] - odds.across[kind]);
            reachingOdds[kind] = clampedLog(odds.across[kind] - odds.outside[kind]);
        }
        fromEdge[k] = atStart ? insideOdds : reachingOdds;
        fromStepBack[k] = atStart ? reachingOdds : insideOdds;
        step[k] = pairStep(k, width);
        paired[k] = std::clamp<int64_t>(size - step[k], begin, end);
    }
    auto terms = [&](int64_t i) {
        std::array<double, kTerms> term{};
        if (inLongBlank[i - begin]) {
            term[0] = -kLargestLogOdds;
            return term;
        }
        term[0] = odds.value[data[i]];
        for (int k = 0; k < kPairSteps; ++k) {
            if (i >= paired[k]) continue;
            const int kind = kinds[data[i] * 256 + data[i + step[k]]];
            term[0] += fromEdge[k][kind];
            term[1 + k] = fromStepBack[k][kind];
        }
        return term;
    };
    // Running sums of each term: sums[j] holds those of [begin + j, end) for a start, those of
    // [begin, begin + j) for an end. The sums run side by side, none waiting on another.
    const auto count = static_cast<size_t>(end - begin);
    // Every sum is written before it is read, all but the empty one: no need to clear them first.
    const std::unique_ptr<std::array<double, kTerms>[]> sums(new std::array<double, kTerms>[count + 1]);
    sums[atStart ? count : 0] = {};
    if (atStart) {
        for (int64_t i = end - 1; i >= begin; --i) {
            const std::array<double, kTerms> term = terms(i);
            for (int j = 0; j < kTerms; ++j) sums[i - begin][j] = sums[i + 1 - begin][j] + term[j];
        }
    } else {
        for (int64_t i = begin; i < end; ++i) {
            const std::array<double, kTerms> term = terms(i);
            for (int j = 0; j < kTerms; ++j) sums[i + 1 - begin][j] = sums[i - begin][j] + term[j];
        }
    }
    auto sumFrom = [&](int64_t i, int term) {
        return sums[static_cast<size_t>(std::clamp<int64_t>(i - begin, 0, static_cast<int64_t>(count)))]
                   [term];
    };
    std::vector<double> scores(static_cast<size_t>(highest - lowest + 1));
    for (int64_t e = lowest; e <= highest; ++e) {
        double score = sumFrom(e, 0);
        for (int k = 0; k < kPairSteps; ++k) score += sumFrom(std::max(begin, e - step[k]), 1 + k);
        scores[e - lowest] = score;
    }
    return scores;
}

// The value of the first pixel of a byte, or of its last.
int pixelAtEnd(uint8_t byte, bool last, int mode) {
    const int bits = bitsPerPixel(mode);
    const int mask = (1 << bits) - 1;
    // BK-0010 keeps its leftmost pixel in the low bits.
    return last != (mode == 2) ? byte & mask : byte >> (8 - bits);
}

// How well the rows of `extent` wrap at row phase `phase`: where a row ends, its last pixel and
// the next row's first are unrelated, while that first pixel still resembles the one above it;
// so are the last byte of a row and the next row's first byte, while that byte resembles the
// one above it. Summed over the rows: each row's pixel steps in units of the largest pixel
// value and its differing pixels in units of a byte's pixels, weighed. A font's rows at its
// glyph height are glyphs, whose first and last bytes are mostly blank alike: only their end
// pixels are weighed.
double wrapScore(const uint8_t* data, int64_t size, Extent extent, int width, int mode, int phase,
                 bool glyphs) {
    const int64_t end = std::min(extent.end, size);
    int64_t i = std::max<int64_t>(extent.first, 0) + width;
    i += ((phase - i) % width + width) % width;
    int64_t steps = 0, differing = 0;
    for (; i < end; i += width) {
        const int first = pixelAtEnd(data[i], false, mode);
        steps += std::abs(pixelAtEnd(data[i - 1], true, mode) - first) -
                 std::abs(pixelAtEnd(data[i - width], false, mode) - first);
        if (!glyphs)
            differing += differingPixelCount(data[i - 1], data[i], mode) -
                         differingPixelCount(data[i - width], data[i], mode);
    }
    return kWrapWeight * (static_cast<double>(steps) / ((1 << bitsPerPixel(mode)) - 1) +
                          static_cast<double>(differing) / pixelsPerByte(mode));
}

// The start in [low.first, high.first] and end in [low.end, high.end] of a picture of rows of
// `width` bytes that make the bytes around them likeliest. Of all row phases, the one whose
// best start and best end are likeliest together, so that the rows line up; an empty extent when
// no start lies before an end.
Extent likeliestExtent(const uint8_t* data, int64_t size, Extent low, Extent high, int width, int mode,
                       const EdgeOdds& before, const EdgeOdds& after, Extent rows, bool glyphs) {
    low.first = std::max<int64_t>(low.first, 0);
    high.first = std::min(high.first, size - 1);
    low.end = std::max<int64_t>(low.end, 1);
    high.end = std::min(high.end, size);
    if (low.first > high.first || low.end > high.end) return {0, 0};  // nothing placed
    const std::vector<double> startScores =
        edgeScores(data, size, low.first, high.first, width, mode, before, true);
    const std::vector<double> endScores =
        edgeScores(data, size, low.end, high.end, width, mode, after, false);
    struct Best {
        double score = -1e300;
        int64_t at = -1;
    };
    std::vector<Best> starts(width), ends(width);
    // The best edge of each row phase (the edge modulo the width).
    auto bestPerPhase = [width](const std::vector<double>& scores, int64_t lowest, std::vector<Best>& best) {
        auto phase = static_cast<int>(lowest % width);
        for (size_t k = 0; k < scores.size(); ++k) {
            if (scores[k] > best[phase].score) best[phase] = {scores[k], lowest + static_cast<int64_t>(k)};
            if (++phase == width) phase = 0;
        }
    };
    bestPerPhase(startScores, low.first, starts);
    bestPerPhase(endScores, low.end, ends);
    auto placed = [&](int p) { return starts[p].at >= 0 && ends[p].at > starts[p].at; };
    auto edges = [&](int p) { return starts[p].score + ends[p].score; };
    int phase = -1;
    for (int p = 0; p < width; ++p)
        if (placed(p) && (phase < 0 || edges(p) > edges(phase))) phase = p;
    if (phase < 0) return {0, 0};
    // A picture between bytes much like its own has edges a byte or two either way that are
    // nearly as likely; the rows of the whole picture tell those phases apart where they wrap.
    if (width < kWrapLeastWidth) return {starts[phase].at, ends[phase].at};
    const int likeliest = phase;
    double best = edges(phase) + wrapScore(data, size, rows, width, mode, phase, glyphs);
    for (int d = -kWrapReach; d <= kWrapReach; ++d) {
        const int p = (likeliest + d + width) % width;
        if (d == 0 || !placed(p)) continue;
        const double score = edges(p) + wrapScore(data, size, rows, width, mode, p, glyphs);
        if (score > best) {
            best = score;
            phase = p;
        }
    }
    return {starts[phase].at, ends[phase].at};
}

// A flat run across an edge of the picture (a blank margin beside blank data) hides where
// the picture begins or ends: its rows there are left out, so that the first row shown is
// one of the picture's.
Extent trimFlatEdges(const uint8_t* data, int64_t size, Extent extent, int width) {
    while (extent.end - extent.first >= 2 * width && extent.first > 0 &&
           isFlat(data, extent.first, extent.first + width) && data[extent.first - 1] == data[extent.first])
        extent.first += width;
    while (extent.end - extent.first >= 2 * width && extent.end < size &&
           isFlat(data, extent.end - width, extent.end) && data[extent.end] == data[extent.end - 1])
        extent.end -= width;
    return extent;
}

// The picture's extent near the rough one, where its bytes at `width` are likeliest: placed again
// from each answer, so that the picture is learned from its own bytes more and more.
Extent settledExtent(const uint8_t* data, int64_t size, Extent rough, int width, int mode, bool glyphs) {
    // The data around is learned a block away from the rough extent, beyond the reach of the
    // first search for the edges (where the rough extent ends early, the bytes next to it are
    // still the picture's), or next to it when the file ends before that; it stays while the
    // extent settles, so that the edges do not creep after it.
    auto around = [&](bool atStart) {
        auto at = [&](int64_t gap) {
            return atStart ? Extent{rough.first - gap - kBlock, rough.first - gap}
                           : Extent{rough.end + gap, rough.end + gap + kBlock};
        };
        const Extent away = at(kBlock);
        return away.first < 0 || away.end > size ? at(0) : away;
    };
    const Extent beforeExtent = around(true), afterExtent = around(false);
    const Surroundings before = surroundings(data, size, beforeExtent, mode);
    const Surroundings after = surroundings(data, size, afterExtent, mode);
    Extent extent = rough;
    for (int round = 0; round < kExtentRounds; ++round) {
        const Extent low{extent.first - kBlock, extent.end - kBlock};
        const Extent high{extent.first + kBlock, extent.end + kBlock};
        // A long picture is learned near each edge, a short one as a whole.
        const bool whole = extent.end - extent.first <= 2 * kLearnBytes;
        const PictureModel start = pictureModel(
            data, size, whole ? extent : Extent{extent.first, extent.first + kLearnBytes}, width, mode);
        const PictureModel end =
            whole ? start : pictureModel(data, size, {extent.end - kLearnBytes, extent.end}, width, mode);
        const Extent next = likeliestExtent(data, size, low, high, width, mode, edgeOdds(start, before, mode),
                                            edgeOdds(end, after, mode), extent, glyphs);
        if (next.end - next.first < width) break;
        const bool same = next.first == extent.first && next.end == extent.end;
        extent = next;
        if (same) break;
    }
    return extent;
}

// Lines of text can be of one length for a while and line up as a picture's rows do; a stretch
// of printable characters broken into lines is taken for text, whatever it lines up at.
bool looksLikeText(const uint8_t* data, int64_t first, int64_t end) {
    int64_t printable = 0, lineEnds = 0;
    for (int64_t i = first; i < end; ++i) {
        printable +=
            (data[i] >= 0x20 && data[i] < 0x7F) || data[i] == '\t' || data[i] == '\r' || data[i] == '\n';
        lineEnds += data[i] == '\n';
    }
    const int64_t length = end - first;
    return printable * kTextShareDivisor >= length * (kTextShareDivisor - 1) &&
           lineEnds * kLongestLine >= length;
}

// A picture around `anchor`, where the sampled blocks saw one: its width judged on the blocks
// from the anchor, its extent grown block by block at that width and then lined up with its
// rows, its score. False when a closer look finds none.
bool regionAround(const uint8_t* data, int64_t size, int64_t anchor, int mode, int maxWidth,
                  GraphicsRegion& region) {
    const WidthScores scores =
        scoreFromFirstByte(data, size, anchor, mode, maxWidth, kRegionLeastJudgedRows, kRegionBlocks);
    int width = linedUpWidth(scores);
    if (width == 0) return false;
    const double score = scores.score[width];
    // A font shows itself twice, at its glyph height and byte to byte.
    const bool font = isNarrowFont(scores, mode, width, data, anchor);
    if (score < (font ? kFontLeastScore : kRegionLeastScore)) return false;
    int64_t first = anchor;
    while (first >= kBlock && blockAgrees(data, size, first - kBlock, width, mode, scores)) first -= kBlock;
    // The blocks the width was judged on, up to a blank one (which parts two pictures).
    const int64_t judgedEnd = std::min(size, anchor + scores.blocks * kBlock);
    int64_t end = std::min(size, anchor + kBlock);
    while (end < judgedEnd && !isFlat(data, end, std::min(size, end + kBlock)))
        end = std::min(size, end + kBlock);
    while (end < size && blockAgrees(data, size, end, width, mode, scores))
        end = std::min(size, end + kBlock);
    // Most stretches of machine code are turned away on the rough extent already, before the
    // dearer placing of the edges; the margin keeps pictures whose edges, once placed, lift them.
    if (!font && !lifted(liftAt(data, size, first, end, width, mode), kRegionLeastLift, kRoughLiftMargin))
        return false;
    Extent extent =
        trimFlatEdges(data, size, settledExtent(data, size, {first, end}, width, mode, font), width);
    // The width judged again from the picture's first row, on as many rows as a guess takes:
    // a few blocks from the middle of a picture can line up best at a multiple of its width.
    // Widths up to twice it are scored, as a guess scores them (the multiples of a width tell
    // whether it lines up), but only a divisor of it is taken.
    if (!font) {
        const WidthScores fromFirst = scoreFromFirstByte(
            data, size, extent.first, mode, std::min(maxWidth, 2 * width + 1), kGuessLeastRows, kGuessBlocks);
        const int again = linedUpWidth(fromFirst);
        if (again != 0 && again != width && width % again == 0) {
            width = again;
            extent = trimFlatEdges(data, size, settledExtent(data, size, extent, width, mode, false), width);
        }
    }
    const int64_t length = extent.end - extent.first;
    if (length < (font ? kFontLeastBytes : kRegionLeastBytes) || length < int64_t{kRegionLeastRows} * width)
        return false;
    if (isFlat(data, extent.first, extent.end) || looksLikeText(data, extent.first, extent.end)) return false;
    if (!font && !lifted(liftAt(data, size, extent.first, extent.end, width, mode), kRegionLeastLift))
        return false;
    region = {extent.first, length, font ? 1 : width, thousandths(score)};
    return true;
}

// Whether the bytes in [begin, end) repeat their values as seldom as bytes drawn at random:
// kScanSample random bytes hold about 128 pairs of equal bytes (seldom over 170), pictures far more.
bool looksRandom(const uint8_t* data, int64_t begin, int64_t end) {
    std::array<uint8_t, 256> seen{};
    int equalPairs = 0;
    for (int64_t i = begin; i < end; ++i) equalPairs += seen[data[i]]++;
    return equalPairs < kRandomEqualPairs;
}

// Whether the rows of the block at `begin` resemble each other at `width` clearly enough for a
// closer look: a region must be lifted well clear of random pairs, and a block of machine code
// that lines up seldom comes near.
bool blockLiftClear(const uint8_t* data, int64_t size, int64_t begin, int width, int mode) {
    return lifted(liftAt(data, size, begin, std::min(size, begin + kBlock), width, mode), kRegionLeastLift,
                  kBlockLiftMargin);
}

// The widths at which the sampled pairs at the start of the block at `begin` line up most
// clearly, as scoreWidths would judge them, best first; 0 for none. A sample
// holds few rows of a wide picture, so that a width beside it may come first by chance.
QuickWidths quickLookWidths(const uint8_t* data, int64_t size, int64_t begin, int mode, int maxWidth) {
    QuickWidths widths{};
    const int64_t end = std::min(size, begin + kScanSample);
    if (end - begin < kLeastPairs || size - end <= maxWidth + 1 || looksRandom(data, begin, end) ||
        isFlat(data, begin, end) || looksLikeText(data, begin, end) ||
        (liftAt(data, size, begin, end, 1, mode).all < kSampleLeastLift &&
         !(mode == 0 && looksLikeGlyphs(data, begin, end, kGlyphEdgeDivisor))))
        return widths;
    std::array<int64_t, kWidthSlots> diff{}, pairs{}, densityDiff{};
    const int pixelWidths = std::min(maxWidth, kQuickPixelWidths);
    addPairs(data, size, begin, end, 1, pixelWidths + 1, mode, diff.data(), pairs.data());
    addDensityPairs(data, size, begin, end, maxWidth + 1, mode, densityDiff.data());
    // The score of a peak, or 0 below the least one, told without a division.
    auto peak = [](const std::array<int64_t, kWidthSlots>& d, int w) {
        const auto neighbour = static_cast<double>(std::min(d[w - 1], d[w + 1]));
        const double drop = neighbour - static_cast<double>(d[w]);
        return drop >= kBlockLeastScore * neighbour && neighbour > 0 ? drop / neighbour : 0;
    };
    std::array<double, kQuickWidths> scores{};
    for (int w = 2; w <= maxWidth; ++w) {
        const double score = std::max(w <= pixelWidths ? peak(diff, w) : 0.0, peak(densityDiff, w));
        if (score < kBlockLeastScore || score <= scores.back()) continue;
        int at = kQuickWidths - 1;
        for (; at > 0 && scores[at - 1] < score; --at) {
            scores[at] = scores[at - 1];
            widths[at] = widths[at - 1];
        }
        scores[at] = score;
        widths[at] = w;
    }
    return widths;
}

}  // namespace

WidthGuess guessWidth(const uint8_t* data, int64_t size, int64_t first, int32_t mode, int32_t maxWidth) {
    if (data == nullptr || size <= 0 || mode < 0 || mode > 3) return {};
    const WidthScores scores =
        scoreFromFirstByte(data, size, first, mode, clampWidth(maxWidth), kGuessLeastRows, kGuessBlocks);
    WidthGuess guess = guessFromScores(scores, mode, data, first);
    if (guess.count == 0) return guess;
    const int width = guess.candidates[0].width;
    const Lift lift = liftAt(data, size, first, first + scores.bytes, width, mode);
    if (evidenceOf(scores, guess.candidates[0]) < kGuessLeastEvidence ||
        looksLikeText(data, first, first + scores.bytes) ||
        !lifted(lift, width == 1 ? kFontGuessLeastLift : kGuessLeastLift))
        return {};
    return guess;
}

std::vector<GraphicsRegion> scanGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t from,
                                         int64_t to, int32_t maxWidth) {
    std::vector<GraphicsRegion> regions;
    if (data == nullptr || size <= 0 || mode < 0 || mode > 3) return regions;
    from = std::max<int64_t>(from, 0);
    to = std::min(to, size);
    if (from >= to) return regions;
    const int widest = clampWidth(maxWidth);
    // Blocks lie on a fixed grid, and the scan starts a reach before `from`, so that the
    // regions before it end where a whole scan's end and any stretch is judged as a whole
    // scan would judge it.
    int64_t block = std::max<int64_t>(0, from - kScanReach) / kScanStride * kScanStride;
    int64_t lastEnd = 0;
    // The last place a quick look fits, so that a picture at the very end is seen too.
    const int64_t tail = size - kScanSample - widest - 2;
    bool tailSeen = tail <= block;
    // A region that begins before `to` may show itself only in blocks past it.
    const int64_t lastBlock = to > size - kScanReach ? size : to + kScanReach;
    while (block < lastBlock) {
        if (!tailSeen && block > tail) {
            block = tail;
            tailSeen = true;
        }
        // The whole block must agree with the sample before the closer, dearer look.
        bool looksLinedUp = false;
        for (const int width : quickLookWidths(data, size, block, mode, widest))
            looksLinedUp = looksLinedUp || (width > 0 && blockLiftClear(data, size, block, width, mode) &&
                                            linedUpScoreAt(data, size, block, std::min(size, block + kBlock),
                                                           width, mode) >= kBlockAgreeingScore);
        if (!looksLinedUp) {
            block += kScanStride;
            continue;
        }
        GraphicsRegion region;
        if (!regionAround(data, size, block, mode, widest, region) || region.first + region.length <= block) {
            block += kScanStride;
            continue;
        }
        if (region.first >= to) break;
        if (region.first < lastEnd) {
            // Whole rows only, so that the rest still lines up.
            const int64_t rows = (lastEnd - region.first + region.width - 1) / region.width;
            region.first += rows * region.width;
            region.length -= rows * region.width;
        }
        // The trim can move the start past the end of the stretch.
        if (region.first >= from && region.first < to &&
            region.length >= (region.width == 1 ? kFontLeastBytes : kRegionLeastBytes))
            regions.push_back(region);
        const int64_t end = region.first + region.length;
        lastEnd = std::max(lastEnd, end);
        block = std::max(block + kScanStride, (end + kScanStride - 1) / kScanStride * kScanStride);
    }
    return regions;
}

bool findNextGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t position, int32_t maxWidth,
                      GraphicsRegion& found) {
    int64_t chunk = kFirstChunk;
    for (int64_t from = std::max<int64_t>(0, position + 1); from < size; chunk *= 2) {
        const int64_t to = size - from > chunk ? from + chunk : size;
        const std::vector<GraphicsRegion> regions = scanGraphics(data, size, mode, from, to, maxWidth);
        if (!regions.empty()) {
            found = regions.front();
            return true;
        }
        from = to;
    }
    return false;
}

bool findPreviousGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t position, int32_t maxWidth,
                          GraphicsRegion& found) {
    int64_t chunk = kFirstChunk;
    for (int64_t to = std::min(position, size); to > 0; chunk *= 2) {
        const int64_t from = to > chunk ? to - chunk : 0;
        const std::vector<GraphicsRegion> regions = scanGraphics(data, size, mode, from, to, maxWidth);
        if (!regions.empty()) {
            found = regions.back();
            return true;
        }
        to = from;
    }
    return false;
}

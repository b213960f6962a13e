#include "viewer/engine/finder_widths.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

namespace finder {

namespace {

// A score reached by noise alone over n bytes: this many over the square root of n.
constexpr double kNoise = 2.0;
// Half a width lines up on densities summed over 8 pixels at least this clearly
constexpr double kHalfLeastPeak = 0.15;
// and at least this share as clearly as the width.
constexpr double kHalfPeakShare = 0.5;
// A divisor of the best width is the picture's width when it scores this share of the best.
constexpr double kDivisorShare = 0.5;
// Or, when dithered, where its other multiples score on average this many noise scores.
constexpr double kDivisorNoise = 1.0;
// Dithered rows resemble the rows up to this many on more than the next: a divisor d of the best
// width is weighed as a dithered picture's width only if the best is at most this many times d.
constexpr int kDitherRows = 3;
// A dithered picture's byte differs from the one below it at most this many times as much as
// from the one beside it.
constexpr double kRowNeighbourLikeness = 1.25;
// The rows of an ordered dither oppose the column parity of the next row and repeat that of the
// row two on, correlated at least this much either way.
constexpr double kAlternating = 0.4;
// A fill or a dithering pattern repeats along a row every few bytes, at most this many.
constexpr int kLongestRowPattern = 8;
// A divisor that short may be such a pattern's period: its densities must line up at least this
// share as clearly as the best width's.
constexpr double kDivisorDensityShare = 0.25;
// Rows repeat within themselves at a divisor of their width that scores this share of the width
constexpr double kRepeatLikeness = 0.8;
// and at least this much.
constexpr double kRepeatLeastScore = 0.5;
// A block agrees with a width when it scores there at least this much
constexpr double kAgreeingLeast = 0.05;
// and at least this share of the window's score.
constexpr double kAgreeingShare = 0.35;
// A lift is judged on at most so many bytes.
constexpr int64_t kLiftBytes = 8 * 1024;
// Least lift on densities alone, for regions and guesses alike: a dithered picture's rows keep
// their densities where their pixels vary.
constexpr double kLeastDensityLift = 0.45;

// Per byte, how many of its four 2-bit pixels take each value, in the 16-bit lanes of a word
// (value v in bits 16v..16v+15), so that a stretch of up to 16383 bytes is counted by adding.
struct TwoBitPixelLanes {
    std::array<uint64_t, 256> lanes{};
    constexpr TwoBitPixelLanes() {
        for (int v = 0; v < 256; ++v)
            for (int shift = 0; shift < 8; shift += 2) lanes[v] += uint64_t{1} << (16 * (v >> shift & 3));
    }
};
constexpr TwoBitPixelLanes kTwoBitPixelLanes;

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

// Whether a block's own scores agree that rows line up at `width` about as clearly as the whole
// window says; a flat block (a blank margin) does not disagree.
bool blockScoresAgree(const WidthScores& scores, int width, double windowScore) {
    if (scores.expected <= 0 || scores.widths < width) return scores.expected <= 0;
    return scores.score[width] >= std::max(kAgreeingLeast, kAgreeingShare * windowScore);
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

}  // namespace

double peakScore(double here, double neighbour) {
    return neighbour > 0 ? (neighbour - here) / neighbour : 0;
}

// On pixels and densities or on densities alone, whichever is larger: the rows of a dithered
// picture keep their densities where their pixels vary, so that its pixels can differ as much
// below a byte as beside it.
WidthScores scoreWidths(const Profile& profile, int mode, int maxWidth, int fromWidth) {
    WidthScores scores;
    scores.expected = expectedDifference(profile.histogram, mode);
    for (int v = 0; v < 256; ++v) scores.bytes += profile.histogram[v];
    if (scores.expected <= 0) return scores;
    const double pixelUnit = kPixelWeight / pixelsPerByte(mode);
    const double densityUnit = 1.0 / kDensity.largest[mode];
    std::array<double, kWidthSlots> difference{}, densityDifference{};
    // A wider step leaves no more pairs: the widths with enough of them are 1..widths.
    int widths = 0;
    while (widths < maxWidth + 1 && profile.pairs[widths + 1] >= kLeastPairs) ++widths;
    for (int w = std::max(1, fromWidth - 1); w <= widths; ++w) {
        const double perPair = 1.0 / static_cast<double>(profile.pairs[w]);
        densityDifference[w] = static_cast<double>(profile.densityDiff[w]) * densityUnit * perPair;
        difference[w] = static_cast<double>(profile.diff[w]) * pixelUnit * perPair + densityDifference[w];
    }
    for (int w = std::max(2, fromWidth); w < widths; ++w) {
        auto peak = [w](const std::array<double, kWidthSlots>& d) {
            return peakScore(d[w], std::min(d[w - 1], d[w + 1]));
        };
        scores.densityScore[w] = peak(densityDifference);
        scores.score[w] = std::max(peak(difference), scores.densityScore[w]);
    }
    if (widths > 2) scores.widths = widths - 1;
    scores.difference = difference;
    return scores;
}

int bestWidth(const WidthScores& scores) {
    int best = 0;
    for (int w = 2; w <= scores.widths; ++w)
        if (best == 0 || scores.score[w] > scores.score[best]) best = w;
    return best;
}

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

int linedUpWidth(const WidthScores& scores) {
    const int best = bestWidth(scores);
    return best > 0 ? smallestLinedUpWidth(scores, best) : 0;
}

int thousandths(double value) {
    return static_cast<int>(std::lround(std::clamp(value, -1.0, 1.0) * 1000));
}

// On pixels and densities or on densities alone, whichever is larger.
double linedUpScoreAt(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int width, int mode,
                      const PairLoops& loops) {
    if (isFlat(data, begin, end)) return 0;
    std::array<int64_t, kWidthSlots> diff{}, pairs{};
    const int firstWidth = std::max(1, width - 1);
    loops.addPairs(data, size, begin, end, firstWidth, width + 1, mode, diff.data(), pairs.data());
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

bool lifted(const Lift& lift, double leastAll, double margin) {
    return lift.all >= leastAll - margin || lift.densities >= kLeastDensityLift - margin;
}

namespace {

// The mean difference of densities summed over `span` bytes, `width` bytes apart, in the bytes the
// prefix sums cover.
double spanDifference(const std::vector<int64_t>& prefix, int span, int width) {
    const auto count = static_cast<int64_t>(prefix.size()) - span - width;
    if (count < kLeastPairs) return 0;
    int64_t sum = 0;
    for (int64_t i = 0; i < count; ++i)
        sum += std::abs((prefix[i + span] - prefix[i]) - (prefix[i + width + span] - prefix[i + width]));
    return static_cast<double>(sum) / static_cast<double>(count);
}

// Per byte of a mode of 1 or 2 bits a pixel, the pixel values in its even columns less those in
// its odd ones (in BK-0010's order of pixels, the negative, which correlates alike).
struct ColumnParity {
    std::array<std::array<int8_t, 256>, 3> value{};
    constexpr ColumnParity() {
        for (int v = 0; v < 256; ++v) {
            value[0][v] = static_cast<int8_t>(std::popcount(static_cast<unsigned>(v & 0xAA)) -
                                              std::popcount(static_cast<unsigned>(v & 0x55)));
            value[1][v] = value[2][v] =
                static_cast<int8_t>((v >> 6 & 3) + (v >> 2 & 3) - (v >> 4 & 3) - (v & 3));
        }
    }
};
constexpr ColumnParity kColumnParity;

// The correlation of the bytes' column parities `lag` bytes apart in [begin, end); 0 where they
// do not vary.
double parityCorrelation(const uint8_t* data, int64_t begin, int64_t end, int lag, int mode) {
    const std::array<int8_t, 256>& parity = kColumnParity.value[mode];
    int64_t n = 0, sumA = 0, sumB = 0, sumAA = 0, sumBB = 0, sumAB = 0;
    for (int64_t i = begin; i + lag < end; ++i, ++n) {
        const int64_t a = parity[data[i]], b = parity[data[i + lag]];
        sumA += a, sumB += b, sumAA += a * a, sumBB += b * b, sumAB += a * b;
    }
    const auto count = static_cast<double>(n);
    const double varianceA = static_cast<double>(sumAA) * count - static_cast<double>(sumA * sumA);
    const double varianceB = static_cast<double>(sumBB) * count - static_cast<double>(sumB * sumB);
    if (n < kLeastPairs || varianceA <= 0 || varianceB <= 0) return 0;
    return (static_cast<double>(sumAB) * count - static_cast<double>(sumA) * static_cast<double>(sumB)) /
           std::sqrt(varianceA * varianceB);
}

// An ordered dither (Bayer's patterns of any size, a checkerboard) sets the even columns of one row
// before its odd ones and the odd columns of the next row first, so that each row's column parity
// is the opposite of the next row's and the same as the row two on; a picture of twice the width
// whose rows are no such pairs has no reason to oppose its halves.
bool rowsAlternate(const uint8_t* data, int64_t begin, int64_t end, int width, int part, int mode) {
    return width % part == 0 && parityCorrelation(data, begin, end, width / part, mode) <= -kAlternating &&
           parityCorrelation(data, begin, end, width, mode) >= kAlternating;
}

}  // namespace

int undoubledWidth(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int width, int mode) {
    const int span = 8 / pixelsPerByte(mode);
    end = std::min({end, size, begin + kLiftBytes});
    if (width % 2 != 0 || width / 2 <= span || end - begin < 4 * int64_t{width}) return width;
    if (mode != 3)
        for (const int part : {4, 2})
            if (rowsAlternate(data, begin, end, width, part, mode)) return width / part;
    std::vector<int64_t> prefix(static_cast<size_t>(end - begin + 1));
    for (int64_t i = begin; i < end; ++i)
        prefix[static_cast<size_t>(i - begin + 1)] =
            prefix[static_cast<size_t>(i - begin)] + kDensity.value[mode][data[i]];
    auto peakAt = [&](int w) {
        return peakScore(spanDifference(prefix, span, w), std::min(spanDifference(prefix, span, w - span),
                                                                   spanDifference(prefix, span, w + span)));
    };
    // A pattern of 4 or 8 rows can line up best at 4 times the width.
    for (int halvings = 0; halvings < 2 && width % 2 == 0 && width / 2 > span; ++halvings) {
        const double halfPeak = peakAt(width / 2);
        if (halfPeak < kHalfLeastPeak || halfPeak < kHalfPeakShare * peakAt(width)) break;
        width /= 2;
    }
    return width;
}

Lift liftAt(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int width, int mode) {
    end = std::min({end, size - width, begin + kLiftBytes});
    if (end - begin < kLeastPairs) return {};
    const std::array<uint8_t, 256>& density = kDensity.value[mode];
    std::array<int64_t, 256> values{};
    int64_t pixelSum = 0, densitySum = 0, equalPairs = 0;
    for (int64_t i = begin; i < end; ++i) {
        ++values[data[i]];
        equalPairs += data[i] == data[i + width];
        pixelSum += differingPixelCount(data[i], data[i + width], mode);
        densitySum += absoluteDifference(density[data[i]], density[data[i + width]]);
    }
    // The counts of densities and pixel values follow from those of the byte values.
    std::array<int64_t, 32> densities{};
    PixelValueCounts pixelValues{};
    uint64_t twoBitLanes = 0;  // at most 4 x kLiftBytes in a lane
    for (int v = 0; v < 256; ++v) {
        densities[density[v]] += values[v];
        if (mode == 3) {
            pixelValues[v >> 4] += values[v];
            pixelValues[v & 15] += values[v];
        } else if (mode != 0) {
            twoBitLanes += static_cast<uint64_t>(values[v]) * kTwoBitPixelLanes.lanes[v];
        }
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
    // Equal pairs differ by nothing: the unequal ones differ by all of it, at random too.
    double randomEqual = 0;
    for (const int64_t n : values) randomEqual += static_cast<double>(n) * static_cast<double>(n);
    randomEqual /= pairs * pairs;
    const auto unequalPairs = static_cast<double>(end - begin - equalPairs);
    const double unequalShare = unequalPairs / pairs;
    const bool unequalJudged =
        unequalPairs >= kLeastPairs && randomEqual < 1 && random > 0 && randomDensity > 0;
    return {random > 0 ? 1.0 - actual / random : 1,
            randomDensity > 0 ? 1.0 - actualDensity / randomDensity : 1,
            unequalJudged ? 1.0 - std::min(actual / random, actualDensity / randomDensity) *
                                      (1 - randomEqual) / unequalShare
                          : 1};
}

bool blockProfileAgrees(const Profile& block, int mode, int width, double windowScore) {
    return blockScoresAgree(scoreWidths(block, mode, width, width), width, windowScore);
}

bool blockAgrees(const uint8_t* data, int64_t size, int64_t begin, int width, int mode,
                 const WidthScores& window, const PairLoops& loops) {
    if (isFlat(data, begin, std::min(size, begin + kBlock))) return false;
    Profile block;
    measure(block, data, size, begin, std::min(size, begin + kBlock), width + 1, mode, loops);
    const WidthScores scores = scoreWidths(block, mode, width);
    if (!blockScoresAgree(scores, width, window.score[width])) return false;
    if (repeatsWithinRows(scores, width) && !repeatsWithinRows(window, width)) return false;
    // Machine code after a picture can line up at its width by chance, but its rows are lifted
    // far less, as a region's rough extent may not be.
    return lifted(liftAt(data, size, begin, std::min(size, begin + kBlock), width, mode), kRegionLeastLift,
                  kRoughLiftMargin);
}

}  // namespace finder

#include "viewer/engine/finder_scan.h"

#include <algorithm>
#include <cstring>

#include "viewer/engine/finder_edges.h"
#include "viewer/engine/finder_guess.h"
#include "viewer/engine/finder_widths.h"

namespace finder {

namespace {

// The scan takes a quick look every so many bytes: a picture of 768 bytes holds a sample wholly.
constexpr int64_t kScanStride = 512;
// A region shows itself within this many bytes: a stretch is scanned from this far before it, and
// a region that begins in it is looked for up to this far past it.
constexpr int64_t kScanReach = 16 * 1024;
// Next and previous graphics scan this many bytes first, then twice as many each time.
constexpr int64_t kFirstChunk = 64 * 1024;
// A sample of bytes as random as this repeats its values too seldom for a picture: fewer pairs of
// equal bytes than this (256 random bytes hold about 128 such pairs, seldom over 170).
constexpr int kRandomEqualPairs = 240;
// A sample of a picture resembles itself from byte to byte (its densities do where it is
// dithered); a sample of machine code barely, and it is passed over before the dearer looks.
constexpr double kSampleLeastLift = 0.25;
// A sample of glyphs: at most one byte in 16 sets the edge bit.
constexpr int64_t kGlyphEdgeDivisor = 16;
// A sample is judged on densities at all widths, and on pixels too up to this width: a narrow
// row has few bytes, whose pixels tell more than their densities.
constexpr int kQuickPixelWidths = 64;
// Least score of a width in a quick look
constexpr double kBlockLeastScore = 0.07;
// and of the whole block at that width.
constexpr double kBlockAgreeingScore = 0.05;
// Allowance below a region's least lift for a block at a quick look's width.
constexpr double kBlockLiftMargin = 0.2;
// A region's width is first judged on this many blocks from where the quick look saw it
constexpr int kRegionBlocks = 4;
// and on at least this many rows.
constexpr int64_t kRegionLeastJudgedRows = 16;
// Least score of a region's width
constexpr double kRegionLeastScore = 0.07;
// or of a font's glyph height.
constexpr double kFontLeastScore = 0.2;
// A region holds at least this many bytes
constexpr int64_t kRegionLeastBytes = 1024;
// and rows: repeated lines of text line up for a few rows. The inked rows of a wide picture on a
// background can be as few as 16.
constexpr int kRegionLeastRows = 16;
// A font holds at least this many bytes: 64 glyphs of 8 rows.
constexpr int64_t kFontLeastBytes = 512;
// A font's bytes resemble the next byte at least this much more than random pairs: a glyph's rows
// continue its strokes, where a table of records lines up at its record length, taken for the
// glyph height, and its bytes barely resemble the next.
constexpr double kFontLeastLift = 0.1;
// A font's inked rows resemble the inked row below them at least this much more than random inked
// rows (real fonts 0.15 to 0.6, a program's tables mostly below 0.1).
constexpr double kFontLeastInkedLift = 0.1;
// The unequal byte pairs of a region's rows differ at least this much less than unequal random
// pairs: tables of records in programs line up as well as pictures, but the fields that differ
// from row to row differ as much as random bytes. Unless at most one row in this many differs from
// the row above: a drawing of flat bands changes its rows seldom and wholly.
constexpr double kRegionLeastUnequalLift = 0.15;
constexpr int64_t kChangingRowsDivisor = 2;
// Glyphs of fonts up to two bytes wide change by whole strokes from row to row: they are not asked
// for that.
constexpr int kGlyphWidest = 2;
constexpr int64_t kGlyphEdgeShare = 4;

// A band of blank rows inside a picture (icons and sprite sheets have them) is at most so many
// rows high and so many bytes long; a longer one parts two pictures.
constexpr int64_t kBandMostRows = 64;
constexpr int64_t kBandLongest = 16 * 1024;
// The rows either side of a band that a picture's regions may leave out.
constexpr int64_t kBandStrayRows = 4;

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

// Whether most rows of [first, end) differ from the row above them: each record of a table does
// somewhere, where a drawing of flat bands repeats its rows and changes them all at once.
bool mostRowsChange(const uint8_t* data, int64_t first, int64_t end, int width) {
    int64_t rows = 0, changing = 0;
    for (int64_t row = first + width; row + width <= end; row += width, ++rows)
        changing += std::memcmp(data + row - width, data + row, static_cast<size_t>(width)) != 0;
    return changing * kChangingRowsDivisor > rows;
}

// Whether the rows of a region's extent are lifted clear of random pairs, also where they differ.
bool rowsLikeAPicture(const uint8_t* data, int64_t size, Extent extent, int width, int mode) {
    const Lift lift = liftAt(data, size, extent.first, extent.end, width, mode);
    return lifted(lift, kRegionLeastLift) &&
           (lift.unequal >= kRegionLeastUnequalLift ||
            !mostRowsChange(data, extent.first, extent.end, width) ||
            (width <= kGlyphWidest && looksLikeGlyphs(data, extent.first, extent.end, kGlyphEdgeShare)));
}

// Whether a width of 2 or more has a divisor between 2 and itself, which a picture of that width
// may be drawn at instead.
bool hasProperDivisor(int width) {
    for (int d = 2; d * d <= width; ++d)
        if (width % d == 0) return true;
    return false;
}

// The longest band of blank rows inside a picture of rows `width` bytes wide.
int64_t longestBand(int width) {
    return std::min(kBandLongest, kBandMostRows * width);
}

// The longest run of one value in [begin, end).
int64_t longestOneValueRun(const uint8_t* data, int64_t begin, int64_t end) {
    int64_t longest = 0, run = 0;
    for (int64_t i = begin; i < end; ++i) {
        run = i > begin && data[i] == data[i - 1] ? run + 1 : 1;
        longest = std::max(longest, run);
    }
    return longest;
}

// Whether `next`, found after `region`, is more of its picture: rows of the same width lined up with
// its rows, after it, overlapping it or taking it in, with at most a band of blank rows (bytes of one
// value) between them, and a few rows either side of the band that neither region took in.
bool continuesPicture(const uint8_t* data, const GraphicsRegion& region, const GraphicsRegion& next) {
    const int64_t end = region.first + region.length;
    if (next.width != region.width || region.width < 2 || next.first + next.length <= end ||
        (next.first - region.first) % region.width != 0)
        return false;
    const int64_t gap = std::max<int64_t>(0, next.first - end);
    const int64_t band = longestOneValueRun(data, end, end + gap);
    return band <= longestBand(region.width) && gap - band <= kBandStrayRows * region.width;
}

}  // namespace

QuickWidths quickLookWidths(const uint8_t* data, int64_t size, int64_t begin, int mode, int maxWidth,
                            const PairLoops& loops) {
    QuickWidths widths{};
    const int64_t end = std::min(size, begin + kScanSample);
    if (end - begin < kLeastPairs || size - end <= maxWidth + 1 || looksRandom(data, begin, end) ||
        isFlat(data, begin, end) || looksLikeText(data, begin, end) ||
        (liftAt(data, size, begin, end, 1, mode).all < kSampleLeastLift &&
         !(mode == 0 && looksLikeGlyphs(data, begin, end, kGlyphEdgeDivisor))))
        return widths;
    std::array<int64_t, kWidthSlots> diff{}, pairs{}, densityDiff{};
    const int pixelWidths = std::min(maxWidth, kQuickPixelWidths);
    loops.addPairs(data, size, begin, end, 1, pixelWidths + 1, mode, diff.data(), pairs.data());
    loops.addDensityPairs(data, size, begin, end, maxWidth + 1, mode, densityDiff.data());
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

bool regionAround(const uint8_t* data, int64_t size, int64_t anchor, int mode, int maxWidth,
                  GraphicsRegion& region, const PairLoops& loops) {
    const WidthScores scores =
        scoreFromFirstByte(data, size, anchor, mode, maxWidth, kRegionLeastJudgedRows, kRegionBlocks, loops);
    int width = linedUpWidth(scores);
    if (width == 0) return false;
    const double score = scores.score[width];
    // A font shows itself twice, at its glyph height and byte to byte.
    const bool font = isNarrowFont(scores, mode, width, data, anchor);
    if (score < (font ? kFontLeastScore : kRegionLeastScore)) return false;
    int64_t first = anchor;
    while (first >= kBlock && blockAgrees(data, size, first - kBlock, width, mode, scores, loops))
        first -= kBlock;
    // The blocks the width was judged on, up to a blank one (which parts two pictures).
    const int64_t judgedEnd = std::min(size, anchor + scores.blocks * kBlock);
    int64_t end = std::min(size, anchor + kBlock);
    while (end < judgedEnd && !isFlat(data, end, std::min(size, end + kBlock)))
        end = std::min(size, end + kBlock);
    while (end < size && blockAgrees(data, size, end, width, mode, scores, loops))
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
    if (!font && hasProperDivisor(width)) {
        const WidthScores fromFirst =
            scoreFromFirstByte(data, size, extent.first, mode, std::min(maxWidth, 2 * width + 1),
                               kGuessLeastRows, kGuessBlocks, loops);
        const int again = linedUpWidth(fromFirst);
        if (again != 0 && again != width && width % again == 0) {
            width = again;
            extent = trimFlatEdges(data, size, settledExtent(data, size, extent, width, mode, false), width);
        }
    }
    const int64_t length = extent.end - extent.first;
    if (length < (font ? kFontLeastBytes : kRegionLeastBytes) || length < int64_t{kRegionLeastRows} * width)
        return false;
    if (isFlat(data, extent.first, extent.end) || looksLikeText(data, extent.first, extent.end) ||
        (mode == 0 && looksLikeNames(data, extent.first, extent.end)))
        return false;
    if (font ? !lifted(liftAt(data, size, extent.first, extent.end, 1, mode), kFontLeastLift) ||
                   inkedRowsLift(data, extent.first, extent.end) < kFontLeastInkedLift
             : !rowsLikeAPicture(data, size, extent, width, mode))
        return false;
    region = {extent.first, length, font ? 1 : width, thousandths(score)};
    return true;
}

std::vector<GraphicsRegion> scan(const uint8_t* data, int64_t size, int mode, int64_t from, int64_t to,
                                 int maxWidth, const PairLoops& loops, ScanMeter& meter) {
    std::vector<GraphicsRegion> regions;
    from = std::max<int64_t>(from, 0);
    to = std::min(to, size);
    if (from >= to) return regions;
    const int widest = maxWidth;
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
    // The region found last, listed or not: the next one may be more of its picture.
    GraphicsRegion last{};
    bool lastListed = false;
    const auto mayContinue = [&] {
        return lastListed && block <= last.first + last.length + longestBand(last.width) + kScanStride;
    };
    size_t told = 0;
    while ((block < lastBlock || mayContinue()) && keepScanning(meter, from, to, block)) {
        if (!tailSeen && block > tail) {
            block = tail;
            tailSeen = true;
        }
        // The whole block must agree with the sample before the closer, dearer look.
        bool looksLinedUp = false;
        for (const int width : quickLookWidths(data, size, block, mode, widest, loops))
            looksLinedUp = looksLinedUp || (width > 0 && blockLiftClear(data, size, block, width, mode) &&
                                            linedUpScoreAt(data, size, block, std::min(size, block + kBlock),
                                                           width, mode, loops) >= kBlockAgreeingScore);
        if (!looksLinedUp) {
            block += kScanStride;
            continue;
        }
        GraphicsRegion region;
        if (!regionAround(data, size, block, mode, widest, region, loops) ||
            region.first + region.length <= block) {
            block += kScanStride;
            continue;
        }
        int64_t end = region.first + region.length;
        if (last.length > 0 && continuesPicture(data, last, region)) {
            last.length = end - last.first;
            last.score = std::min(last.score, region.score);
            if (lastListed) regions.back() = last;
        } else {
            if (region.first >= to) break;
            if (region.first < lastEnd) {
                // Whole rows only, so that the rest still lines up.
                const int64_t rows = (lastEnd - region.first + region.width - 1) / region.width;
                region.first += rows * region.width;
                region.length -= rows * region.width;
            }
            // The trim can move the start past the end of the stretch.
            lastListed = region.first >= from && region.first < to &&
                         region.length >= (region.width == 1 ? kFontLeastBytes : kRegionLeastBytes);
            if (lastListed) regions.push_back(region);
            last = region;
            end = region.first + region.length;
            // Only the region found last may still grow.
            told = tellSettled(meter, regions, told, regions.size() - (lastListed ? 1 : 0));
        }
        lastEnd = std::max(lastEnd, end);
        block = std::max(block + kScanStride, (end + kScanStride - 1) / kScanStride * kScanStride);
    }
    if (!meter.stopped) tellSettled(meter, regions, told, regions.size());
    return regions;
}

bool firstRegionAfter(int64_t size, int64_t position, const StretchScan& scan, GraphicsRegion& found,
                      ScanMeter& meter) {
    int64_t chunk = kFirstChunk;
    const int64_t start = std::max<int64_t>(0, position + 1);
    meter.total = std::max<int64_t>(0, size - start);
    for (int64_t from = start; from < size; chunk *= 2) {
        const int64_t to = size - from > chunk ? from + chunk : size;
        meter.doneBefore = from - start;
        const std::vector<GraphicsRegion> regions = scan(from, to);
        if (meter.stopped) return false;
        if (!regions.empty()) {
            found = regions.front();
            return true;
        }
        from = to;
    }
    reportAllScanned(meter);
    return false;
}

bool lastRegionBefore(int64_t size, int64_t position, const StretchScan& scan, GraphicsRegion& found,
                      ScanMeter& meter) {
    int64_t chunk = kFirstChunk;
    const int64_t start = std::min(position, size);
    meter.total = std::max<int64_t>(0, start);
    for (int64_t to = start; to > 0; chunk *= 2) {
        const int64_t from = to > chunk ? to - chunk : 0;
        meter.doneBefore = start - to;
        const std::vector<GraphicsRegion> regions = scan(from, to);
        if (meter.stopped) return false;
        if (!regions.empty()) {
            found = regions.back();
            return true;
        }
        to = from;
    }
    reportAllScanned(meter);
    return false;
}

}  // namespace finder

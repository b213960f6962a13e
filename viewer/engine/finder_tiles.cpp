#include "viewer/engine/finder_tiles.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "viewer/engine/finder_pairs.h"
#include "viewer/engine/finder_widths.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/pixel_decoding.h"

namespace finder {

namespace {

// A guess judges at most so many tiles
constexpr int64_t kGuessTiles = 1024;
// and a width on at least so many pairs of a tile and the tile below it.
constexpr int64_t kLeastTilePairs = 32;
// The scan judges windows of so many tiles, each half a window after the last, at up to so many
// tiles per row: a sheet of a window's tiles fills most of one of them wherever it lies.
constexpr int64_t kWindowTiles = 64;
constexpr int64_t kWindowStep = kWindowTiles / 2;
constexpr int kWidestScanned = 64;
// Narrower runs are columns of tiles, which tables of records in machine code draw as well.
constexpr int kLeastScannedWidth = 3;
// and keeps regions of at least so many rows of tiles and so many tiles.
constexpr int64_t kRegionLeastTileRows = 3;
constexpr int64_t kRegionLeastTiles = 32;
// and bytes: tables in machine code line up as a few rows of small tiles.
constexpr int64_t kRegionLeastBytes = 512;
// A width peaks at least this much above the widths beside it
constexpr double kLeastTileScore = 0.15;
// and its edges differ at most this share of those of tiles paired at random.
constexpr double kMostTileEdgeShare = 0.75;
// A region's windows ask more: tables in machine code line up as tiles at some widths.
constexpr double kLeastRegionTileScore = 0.25;
constexpr double kMostRegionEdgeShare = 0.5;
// A band of blank rows of tiles inside a picture (icons and sprite sheets have them) joins its two
// parts when it is at most so many rows of tiles high.
constexpr int64_t kMostBandTileRows = 8;
// A step's log likelihood of lying within a picture counts at most this much either way.
constexpr double kMostLikeness = 3;
// The scan decodes the edges of so many windows' tiles at once.
constexpr int64_t kEdgeBlockWindows = 32;

// Each tile's top and bottom pixel rows, their pixel values one a byte, of the tiles from `first`
// (a tile index from the data's start).
struct TileEdges {
    int64_t first = 0;
    int tiles = 0, pixels = 0, largest = 1;
    std::vector<uint8_t> top, bottom;
    std::vector<int32_t> inner;  // how much each tile's own rows differ from the row below, if asked
};

// A run of tiles of the edges, indexes from the edges' first tile.
struct TileRun {
    int64_t first = 0, tiles = 0;
};

// A packed row's pixel values, one a byte; the bits of a pixel known when compiled.
template <int Bits>
void unpackRow(const uint8_t* packed, int pixels, uint8_t* values) {
    for (int x = 0; x < pixels; ++x) values[x] = static_cast<uint8_t>(packedPixel(packed, x, Bits));
}

void unpackRow(const uint8_t* packed, int pixels, int bits, uint8_t* values) {
    switch (bits) {
        case 1:
            return unpackRow<1>(packed, pixels, values);
        case 2:
            return unpackRow<2>(packed, pixels, values);
        case 4:
            return unpackRow<4>(packed, pixels, values);
        case 8:
            return unpackRow<8>(packed, pixels, values);
        default:
            for (int x = 0; x < pixels; ++x) values[x] = static_cast<uint8_t>(packedPixel(packed, x, bits));
    }
}

// The sum of |a[i] - b[i]| for i in [0, n), 16 pixels at a time.
int64_t summedDifference(const uint8_t* a, const uint8_t* b, int64_t n) {
    int64_t sum = 0, i = 0;
#if defined(__x86_64__)
    __m128i sums = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16)
        sums = _mm_add_epi64(sums, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i))));
    sum = _mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums));
#endif
    for (; i < n; ++i) sum += absoluteDifference(a[i], b[i]);
    return sum;
}

TileEdges tileEdges(const uint8_t* data, int64_t size, int64_t first, int64_t tiles, const ModeRow& row,
                    bool withInner = false) {
    const uint8_t* unchanged = transformTable(false, false, false).data();
    TileEdges edges;
    edges.first = first / row.unitBytes;
    edges.tiles = static_cast<int>(tiles);
    edges.pixels = row.unitPixels;
    edges.largest = (1 << row.bits) - 1;
    edges.top.resize(static_cast<size_t>(tiles * row.unitPixels));
    edges.bottom.resize(edges.top.size());
    if (withInner) edges.inner.resize(static_cast<size_t>(tiles));
    std::vector<uint8_t> packed(static_cast<size_t>(row.unitPixels * row.packBits / 8 + 8));
    std::vector<uint8_t> above(static_cast<size_t>(row.unitPixels)), here(above.size());
    for (int64_t t = 0; t < tiles; ++t) {
        const UnitBytes unit{data, size, unchanged, first + t * row.unitBytes, 1};
        uint8_t* top = edges.top.data() + t * row.unitPixels;
        uint8_t* bottom = edges.bottom.data() + t * row.unitPixels;
        if (!withInner) {
            for (const int y : {0, row.unitHeight - 1}) {
                decodeUnitRow(row, unit, y, row.unitPixels, packed.data());
                unpackRow(packed.data(), row.unitPixels, row.packBits, y == 0 ? top : bottom);
            }
            continue;
        }
        int64_t inner = 0;
        for (int y = 0; y < row.unitHeight; ++y) {
            decodeUnitRow(row, unit, y, row.unitPixels, packed.data());
            unpackRow(packed.data(), row.unitPixels, row.packBits, here.data());
            if (y == 0) std::copy(here.begin(), here.end(), top);
            if (y > 0) inner += summedDifference(above.data(), here.data(), row.unitPixels);
            std::swap(above, here);
        }
        edges.inner[static_cast<size_t>(t)] = static_cast<int32_t>(inner);
        std::copy(above.begin(), above.end(), bottom);
    }
    return edges;
}

// How much the bottom rows of `count` tiles from tile a differ from the top rows of as many from
// tile b (indexes into the edges), in pixel values: the rows of tiles in a row lie one after the
// other.
int64_t edgeDifference(const TileEdges& edges, int64_t a, int64_t b, int64_t count = 1) {
    return summedDifference(edges.bottom.data() + a * edges.pixels, edges.top.data() + b * edges.pixels,
                            count * edges.pixels);
}

// The mean difference between each tile's bottom row and the top row of the tile `width` on.
double edgeDifferenceAt(const TileEdges& edges, TileRun run, int width) {
    const int64_t pairs = run.tiles - width;
    if (pairs < kLeastTilePairs) return -1;
    return static_cast<double>(edgeDifference(edges, run.first, run.first + width, pairs)) /
           static_cast<double>(pairs);
}

// The mean difference of tiles paired at random: a tile with one far from it.
double randomEdgeDifference(const TileEdges& edges, TileRun run) {
    int64_t sum = 0;
    const int64_t half = run.tiles / 2;
    for (int64_t t = 0; t < half; ++t)
        sum += edgeDifference(edges, run.first + t, run.first + (t * 7 + 3) % half + half);
    return half > 0 ? static_cast<double>(sum) / static_cast<double>(half) : 0;
}

// The widths whose mean steps (difference[w], w in 1..maxWidth + 1) peak clearly under those beside
// them and under the random pairs' mean, clearest first.
WidthGuess guessFromDifferences(const std::vector<double>& difference, int maxWidth, double random,
                                double leastScore, double mostShare) {
    WidthGuess guess{};
    if (random <= 0) return guess;
    std::vector<std::pair<double, int>> scored;
    for (int w = 1; w + 1 < static_cast<int>(difference.size()) && w <= maxWidth; ++w) {
        const double here = difference[static_cast<size_t>(w)];
        const double next = difference[static_cast<size_t>(w + 1)];
        const double neighbour = w == 1 ? next : std::min(difference[static_cast<size_t>(w - 1)], next);
        const double score = peakScore(here, neighbour);
        if (score >= leastScore && here <= mostShare * random) scored.emplace_back(score, w);
    }
    std::sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [score, width] : scored) {
        if (guess.count == static_cast<int>(guess.candidates.size())) break;
        guess.candidates[static_cast<size_t>(guess.count++)] = {width, thousandths(score)};
    }
    return guess;
}

// The guess on all the edges' tiles: each width judged on the pairs that lie among them.
WidthGuess guessFromEdges(const TileEdges& edges, int maxWidth) {
    const TileRun all{0, edges.tiles};
    const int widths = static_cast<int>(std::min<int64_t>(maxWidth + 1, all.tiles - kLeastTilePairs));
    if (widths < 2) return {};
    std::vector<double> difference(static_cast<size_t>(widths + 1));
    for (int w = 1; w <= widths; ++w) difference[static_cast<size_t>(w)] = edgeDifferenceAt(edges, all, w);
    return guessFromDifferences(difference, maxWidth, randomEdgeDifference(edges, all), kLeastTileScore,
                                kMostTileEdgeShare);
}

// A scan's window: the tiles whose steps to the tile `width` on are judged at every width, so that
// each width is judged on as many pairs (the lower tiles lie past the window, up to `widest` tiles).
struct TileWindow {
    WidthGuess guess{};
    double inside = 0, random = 0;  // a tile's mean step at the width found, and between random pairs
};

// The summed steps from each of the kWindowStep tiles from `first` (an index into the edges) to the
// tile w on, as steps[w] for w in 1..widest + 1. A window is two such halves, and its upper half is the
// next window's lower one, so that each half is summed once.
void halfWindowSteps(const TileEdges& edges, int64_t first, int widest, std::vector<int64_t>& steps) {
    steps.assign(static_cast<size_t>(widest + 2), 0);
    for (int w = 1; w <= widest + 1; ++w)
        steps[static_cast<size_t>(w)] = edgeDifference(edges, first, first + w, kWindowStep);
}

TileWindow judgedWindow(const TileEdges& edges, int64_t first, int widest, const std::vector<int64_t>& lower,
                        const std::vector<int64_t>& upper) {
    static_assert(kWindowTiles == 2 * kWindowStep);
    std::vector<double> difference(static_cast<size_t>(widest + 2));
    for (int w = 1; w <= widest + 1; ++w)
        difference[static_cast<size_t>(w)] =
            static_cast<double>(lower[static_cast<size_t>(w)] + upper[static_cast<size_t>(w)]) / kWindowTiles;
    TileWindow window;
    window.random = randomEdgeDifference(edges, {first, kWindowTiles + widest + 1});
    window.guess =
        guessFromDifferences(difference, widest, window.random, kLeastRegionTileScore, kMostRegionEdgeShare);
    if (window.guess.count > 0)
        window.inside = difference[static_cast<size_t>(window.guess.candidates[0].width)];
    return window;
}

// A region's rows of tiles followed out from the window it was seen in, tile indexes from the data's
// start: `width` tiles a row; the tiles [least, end) are the data it may take in.
struct TileWalk {
    const uint8_t* data;
    int64_t size;
    const ModeRow* row;
    int width;
    int64_t least, end;
    double most;    // the most a row of tiles' edges may differ, a tile's mean, where it continues
    double inside;  // a tile's mean step within the picture, and between unrelated tiles
    double random;
    double logRatio;
    TileEdges edges;
};

// The edges of the tiles [first, last) at least, decoded anew (twice as many as before) when the walk
// leaves those it has.
void cover(TileWalk& walk, int64_t first, int64_t last) {
    const int64_t had = walk.edges.first, hadEnd = had + walk.edges.tiles;
    if (walk.edges.tiles > 0 && first >= had && last <= hadEnd) return;
    // Around the tiles asked for when there are none yet (not from the data's start).
    const int64_t more = std::max<int64_t>(walk.edges.tiles, 4 * kWindowTiles);
    const bool none = walk.edges.tiles == 0;
    first = std::max(walk.least, std::min(first, (none ? first : had) - more));
    last = std::min(walk.end, std::max(last, (none ? last : hadEnd) + more));
    walk.edges = tileEdges(walk.data, walk.size, first * walk.row->unitBytes, last - first, *walk.row, true);
}

// How much tile t's bottom row differs from the top row of the tile below it; the most where there
// is none.
double tileStep(TileWalk& walk, int64_t t) {
    if (t < walk.least || t + walk.width >= walk.end)
        return static_cast<double>(((1 << walk.row->bits) - 1) * walk.row->unitPixels);
    cover(walk, t, t + walk.width + 1);
    return static_cast<double>(
        edgeDifference(walk.edges, t - walk.edges.first, t + walk.width - walk.edges.first));
}

// How much tile t's own pixel rows differ from the row below them, in all.
double innerSteps(TileWalk& walk, int64_t t) {
    cover(walk, t, t + 1);
    return walk.edges.inner[static_cast<size_t>(t - walk.edges.first)];
}

// Whether the row of tiles from tile t continues into the one below it, and the tiles' own rows of
// both continue each other as a picture's do.
bool rowContinues(TileWalk& walk, int64_t t) {
    const int64_t w = walk.width;
    if (t < walk.least || t + 2 * w > walk.end) return false;
    cover(walk, t, t + 2 * w);
    const int64_t at = t - walk.edges.first;
    if (static_cast<double>(edgeDifference(walk.edges, at, at + w, w)) > walk.most * static_cast<double>(w))
        return false;
    double inner = 0;
    for (int64_t i = t; i < t + 2 * w; ++i) inner += innerSteps(walk, i);
    return inner <= walk.most * static_cast<double>(2 * w * (walk.row->unitHeight - 1));
}

// Whether every pixel of the row of tiles from tile t has one value: filler, or a band inside a
// picture.
bool blankRow(TileWalk& walk, int64_t t) {
    const int64_t w = walk.width;
    if (t < walk.least || t + w > walk.end) return false;
    cover(walk, t, t + w);
    const int64_t at = t - walk.edges.first;
    const uint8_t* top = walk.edges.top.data() + at * walk.edges.pixels;
    for (int64_t i = 0; i < w * walk.edges.pixels; ++i)
        if (top[i] != top[0]) return false;
    for (int64_t i = at; i < at + w; ++i)
        if (walk.edges.inner[static_cast<size_t>(i)] != 0) return false;
    return true;
}

// The row of tiles below the last one, across a band of blank rows when the rows after it continue;
// -1 when the region ends. `step` is +width (down) or -width (up).
int64_t nextRow(TileWalk& walk, int64_t last, int64_t step) {
    const int64_t next = last + step;
    if (rowContinues(walk, step > 0 ? last : next) && !blankRow(walk, next)) return next;
    int64_t beyond = next;
    for (int64_t n = 0; n < kMostBandTileRows && blankRow(walk, beyond); ++n) beyond += step;
    // Past the band, or past one seam that does not continue (a gap between a sheet's sprites), the
    // picture goes on where the next two rows continue each other, neither blank: a sheet of a few
    // rows may end one row after a seam.
    if (blankRow(walk, beyond) || blankRow(walk, beyond + step) ||
        !rowContinues(walk, step > 0 ? beyond : beyond + step))
        return -1;
    return beyond;
}

// How much likelier `steps` steps summing to `sum` are within a picture than between unrelated
// tiles (a log likelihood: steps taken as exponential about the picture's mean and the random
// pairs' mean), at most kMostLikeness either way: a picture's strong edges (a sprite's outline on a
// flat background) step far above its mean, and one of them must not outweigh a row of like steps.
double likeness(const TileWalk& walk, double sum, int steps) {
    const double ratio = steps * walk.logRatio - sum * (1 / walk.inside - 1 / walk.random);
    return std::clamp(ratio, -kMostLikeness, kMostLikeness);
}

// Tile t's step to the tile below.
double stepLikeness(TileWalk& walk, int64_t t) {
    return likeness(walk, tileStep(walk, t), 1);
}

// Tile t's own rows stepping to the row below them, as a picture's rows do and unrelated bytes do not.
double innerLikeness(TileWalk& walk, int64_t t) {
    if (t < walk.least || t >= walk.end) return -kMostLikeness;
    return likeness(walk, innerSteps(walk, t), walk.row->unitHeight - 1);
}

// The tiles [first, end) of the picture whose row of tiles from `top` begins it and whose row from
// `bottom` ends it, both rows on whole tiles but not on the picture's rows: the picture's first tile
// lies within a row of `top`, and its last row's first tile within a row of `bottom`. Each tile
// before the first and in the last row steps to unlike tiles, each between steps to like ones, and
// the tiles inside have rows that step like a picture's (one step at either end alone was a coin's
// toss where a sprite's edge lies in the last row); both ends lie on the same column of tiles, and
// the column whose two ends are likeliest wins.
TileRun placedEnds(TileWalk& walk, int64_t top, int64_t bottom) {
    const int64_t w = walk.width;
    // Likelihood of a first tile s: the steps from s to top + w like, and those tiles' own rows; of a
    // last row from e: the steps from bottom - w to e like and those from e to bottom + w unlike, and
    // the own rows of the tiles from bottom to e + w.
    std::vector<double> head(static_cast<size_t>(w), -1e300), tail(static_cast<size_t>(w), -1e300);
    std::vector<int64_t> headAt(static_cast<size_t>(w), -1), tailAt(static_cast<size_t>(w), -1);
    double sum = 0;
    for (int64_t s = top + w; s >= top - 2 * w && s >= walk.least; --s) {
        if (s < top + w) sum += stepLikeness(walk, s) + innerLikeness(walk, s);
        const auto k = static_cast<size_t>(((s % w) + w) % w);
        if (sum > head[k]) head[k] = sum, headAt[k] = s;
    }
    sum = 0;
    for (int64_t e = bottom - w; e <= bottom + 2 * w; ++e) {
        if (e > bottom - w) sum += stepLikeness(walk, e - 1) + innerLikeness(walk, e - 1 + w);
        const auto k = static_cast<size_t>(((e % w) + w) % w);
        if (sum > tail[k]) tail[k] = sum, tailAt[k] = e;
    }
    size_t best = 0;
    for (size_t k = 1; k < static_cast<size_t>(w); ++k)
        if (headAt[k] >= 0 && (headAt[best] < 0 || head[k] + tail[k] > head[best] + tail[best])) best = k;
    if (headAt[best] < 0 || tailAt[best] < 0 || tailAt[best] < headAt[best]) return {};
    const int64_t first = headAt[best], end = std::min(walk.end, tailAt[best] + w);
    return {first, (end - first) / w * w};
}

// The picture around the rows of tiles from tile `seed`, as tiles [first, end): rows followed out one
// at a time while they continue each other (or a band of blank rows lies between), and its ends
// placed where the steps between rows turn; empty when the seed row does not continue.
TileRun pictureAround(TileWalk& walk, int64_t seed) {
    const int64_t w = walk.width;
    if (!rowContinues(walk, seed)) return {};
    int64_t top = seed, bottom = seed;
    for (int64_t row; (row = nextRow(walk, bottom, w)) >= 0;) bottom = row;
    for (int64_t row; (row = nextRow(walk, top, -w)) >= 0;) top = row;
    // Blank rows beyond either end may hold the picture's first or last tiles (the walk's rows lie
    // across the picture's), so the ends are looked for beyond them.
    for (int64_t n = 0; n < kMostBandTileRows && blankRow(walk, top - w); ++n) top -= w;
    for (int64_t n = 0; n < kMostBandTileRows && blankRow(walk, bottom + w); ++n) bottom += w;
    if (bottom - top < 2 * w) return {};
    const TileRun placed = placedEnds(walk, top, bottom);
    int64_t begin = placed.first, end = placed.first + placed.tiles;
    // Blank rows at either end are filler or a margin.
    while (begin < end && blankRow(walk, begin)) begin += w;
    while (end > begin && blankRow(walk, end - w)) end -= w;
    return {begin, end - begin};
}

// Where to follow a picture seen in the window of tiles from `first` (indexes into the edges): the
// row of tiles from there that continues into the next best.
int64_t clearestRow(const TileEdges& edges, int64_t first, int width) {
    int64_t best = first, clearest = -1;
    for (int64_t t = first; t < first + kWindowTiles && t + 2 * width <= edges.tiles; ++t) {
        const int64_t difference = edgeDifference(edges, t, t + width, width);
        if (clearest < 0 || difference < clearest) best = t, clearest = difference;
    }
    return best;
}

}  // namespace

WidthGuess guessTilesPerRow(const uint8_t* data, int64_t size, int64_t first, const ModeRow& row,
                            int maxWidth) {
    if (first < 0 || first >= size || row.unitBytes <= 0) return {};
    const int64_t available = (size - first) / row.unitBytes;
    // Judged on the first 128 tiles, 256, ... up to kGuessTiles: the tiles after a small sheet
    // would drown its edges, and a wide one needs many rows of tiles. The clearest answer counts.
    WidthGuess best{};
    for (int64_t tiles = kGuessTiles / 8; tiles <= kGuessTiles; tiles *= 2) {
        const TileEdges edges = tileEdges(data, size, first, std::min(tiles, available), row);
        const WidthGuess guess = guessFromEdges(edges, std::min<int>(maxWidth, static_cast<int>(tiles / 4)));
        if (guess.count > 0 && (best.count == 0 || guess.candidates[0].score > best.candidates[0].score))
            best = guess;
        if (tiles >= available) break;
    }
    return best;
}

std::vector<GraphicsRegion> scanTiles(const uint8_t* data, int64_t size, int64_t from, int64_t to,
                                      const ModeRow& row, int maxWidth, ScanMeter& meter) {
    std::vector<GraphicsRegion> regions;
    const int64_t tileBytes = row.unitBytes;
    if (tileBytes <= 0) return regions;
    const int64_t tiles = size / tileBytes;
    const int widest = std::min(maxWidth, kWidestScanned);
    // A window's tiles and those its tiles are paired with.
    const int64_t reach = kWindowTiles + widest + 1;
    // Windows on whole tiles from the data's start, from a few windows before `from` so that a region
    // that began there is seen whole, to a few past `to` so that one that begins just before it is.
    const int64_t margin = 4 * kWindowTiles;
    const int64_t firstWindow = std::max<int64_t>(0, from / tileBytes - margin) / kWindowStep * kWindowStep;
    const int64_t lastWindow = std::min(tiles - reach, std::max<int64_t>(0, to) / tileBytes + margin);
    int64_t taken = 0;  // the tiles before this belong to a region found
    TileEdges edges;
    std::vector<int64_t> lower, upper;  // the steps of the window's halves
    int64_t upperAt = -1;               // the first tile of the half in `upper`
    for (int64_t window = firstWindow;
         window <= lastWindow && keepScanning(meter, from, to, window * tileBytes); window += kWindowStep) {
        if (window + reach > edges.first + edges.tiles) {
            const int64_t count = std::min(kEdgeBlockWindows * kWindowStep + reach, tiles - window);
            edges = tileEdges(data, size, window * tileBytes, count, row);
        }
        if (window < taken) continue;
        if (upperAt == window)
            std::swap(lower, upper);
        else
            halfWindowSteps(edges, window - edges.first, widest, lower);
        halfWindowSteps(edges, window + kWindowStep - edges.first, widest, upper);
        upperAt = window + kWindowStep;
        const TileWindow judged = judgedWindow(edges, window - edges.first, widest, lower, upper);
        if (judged.guess.count == 0) continue;
        const int width = judged.guess.candidates[0].width;
        if (width < kLeastScannedWidth) continue;
        const double like = std::max(judged.inside, judged.random / 20);
        TileWalk walk{data,
                      size,
                      &row,
                      width,
                      taken,
                      tiles,
                      (judged.inside + judged.random) / 2,
                      like,
                      judged.random,
                      std::log(judged.random / like),
                      {}};
        const TileRun picture =
            pictureAround(walk, edges.first + clearestRow(edges, window - edges.first, width));
        if (picture.tiles < kRegionLeastTiles || picture.tiles < kRegionLeastTileRows * width ||
            picture.tiles * tileBytes < kRegionLeastBytes)
            continue;
        taken = picture.first + picture.tiles;
        const GraphicsRegion region{picture.first * tileBytes, picture.tiles * tileBytes, width,
                                    judged.guess.candidates[0].score};
        if (region.first >= from && region.first < to) {
            regions.push_back(region);
            tellSettled(meter, regions, regions.size() - 1, regions.size());
        }
    }
    return regions;
}

}  // namespace finder

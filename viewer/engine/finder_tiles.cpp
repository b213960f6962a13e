#include "viewer/engine/finder_tiles.h"

#include <algorithm>

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
// The scan judges windows of so many tiles, one after the other, at up to so many tiles per row
constexpr int64_t kWindowTiles = 256;
constexpr int kWidestScanned = 64;
// and keeps regions of at least so many rows of tiles and so many tiles.
constexpr int64_t kRegionLeastTileRows = 4;
constexpr int64_t kRegionLeastTiles = 64;
// A width peaks at least this much above the widths beside it
constexpr double kLeastTileScore = 0.15;
// and its edges differ at most this share of those of tiles paired at random.
constexpr double kMostTileEdgeShare = 0.75;
// A region's windows ask more: tables in machine code line up as tiles at some widths.
constexpr double kLeastRegionTileScore = 0.25;
constexpr double kMostRegionEdgeShare = 0.5;

// Each tile's top and bottom pixel rows, their pixel values one a byte.
struct TileEdges {
    int tiles = 0, pixels = 0, largest = 1;
    std::vector<uint8_t> top, bottom;
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

TileEdges tileEdges(const uint8_t* data, int64_t size, int64_t first, int64_t tiles, const ModeRow& row) {
    const uint8_t* unchanged = transformTable(false, false, false).data();
    TileEdges edges;
    edges.tiles = static_cast<int>(tiles);
    edges.pixels = row.unitPixels;
    edges.largest = (1 << row.bits) - 1;
    edges.top.resize(static_cast<size_t>(tiles * row.unitPixels));
    edges.bottom.resize(edges.top.size());
    std::vector<uint8_t> packed(static_cast<size_t>(row.unitPixels * row.packBits / 8 + 8));
    for (int64_t t = 0; t < tiles; ++t) {
        const UnitBytes unit{data, size, unchanged, first + t * row.unitBytes, 1};
        for (const int y : {0, row.unitHeight - 1}) {
            decodeUnitRow(row, unit, y, row.unitPixels, packed.data());
            unpackRow(packed.data(), row.unitPixels, row.packBits,
                      (y == 0 ? edges.top : edges.bottom).data() + t * row.unitPixels);
        }
    }
    return edges;
}

// The sum of |a[i] - b[i]| for i in [0, n), in whole runs of 16 pixels, which the compiler sums at
// once.
int64_t summedDifference(const uint8_t* a, const uint8_t* b, int64_t n) {
    int64_t sum = 0, i = 0;
    for (; i + 16 <= n; i += 16) {
        int run = 0;
        for (int k = 0; k < 16; ++k) run += absoluteDifference(a[i + k], b[i + k]);
        sum += run;
    }
    for (; i < n; ++i) sum += absoluteDifference(a[i], b[i]);
    return sum;
}

// How much the bottom rows of `count` tiles from tile a differ from the top rows of as many from
// tile b, in pixel values: the rows of tiles in a row lie one after the other.
int64_t edgeDifference(const TileEdges& edges, int64_t a, int64_t b, int64_t count = 1) {
    return summedDifference(edges.bottom.data() + a * edges.pixels, edges.top.data() + b * edges.pixels,
                            count * edges.pixels);
}

// The mean difference between each tile's bottom row and the top row of the tile `width` on.
double edgeDifferenceAt(const TileEdges& edges, int width) {
    const int64_t pairs = edges.tiles - width;
    if (pairs < kLeastTilePairs) return -1;
    return static_cast<double>(edgeDifference(edges, 0, width, pairs)) / static_cast<double>(pairs);
}

// The mean difference of tiles paired at random: a tile with one far from it.
double randomEdgeDifference(const TileEdges& edges) {
    int64_t sum = 0;
    const int64_t half = edges.tiles / 2;
    for (int64_t t = 0; t < half; ++t) sum += edgeDifference(edges, t, (t * 7 + 3) % half + half);
    return half > 0 ? static_cast<double>(sum) / static_cast<double>(half) : 0;
}

WidthGuess guessFromEdges(const TileEdges& edges, int maxWidth, double leastScore = kLeastTileScore,
                          double mostShare = kMostTileEdgeShare) {
    WidthGuess guess{};
    const int widths = std::min<int>(maxWidth + 1, edges.tiles - static_cast<int>(kLeastTilePairs));
    if (widths < 2) return guess;
    std::vector<double> difference(static_cast<size_t>(widths + 1));
    for (int w = 1; w <= widths; ++w) difference[static_cast<size_t>(w)] = edgeDifferenceAt(edges, w);
    const double random = randomEdgeDifference(edges);
    if (random <= 0) return guess;
    std::vector<std::pair<double, int>> scored;
    for (int w = 1; w < widths && w <= maxWidth; ++w) {
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

// Whether the tile row from tile `t` continues into the one below it, its edges differing clearly
// less than tiles paired at random.
bool rowContinues(const TileEdges& edges, int64_t t, int width, double random) {
    if (t + 2 * int64_t{width} > edges.tiles) return false;
    const int64_t sum = edgeDifference(edges, t, t + width, width);
    return static_cast<double>(sum) <= kMostTileEdgeShare * random * width;
}

// The region's rows of tiles from the first that continues into the next to the one below the
// last that does: the windows it was found in take in tiles of the data around it.
GraphicsRegion trimmedToRows(const uint8_t* data, int64_t size, const GraphicsRegion& region,
                             const ModeRow& row) {
    const TileEdges edges = tileEdges(data, size, region.first, region.length / row.unitBytes, row);
    const double random = randomEdgeDifference(edges);
    const int64_t rows = edges.tiles / region.width;
    int64_t top = 0, bottom = rows - 1;
    while (top < rows && !rowContinues(edges, top * region.width, region.width, random)) ++top;
    while (bottom > top && !rowContinues(edges, (bottom - 1) * region.width, region.width, random)) --bottom;
    GraphicsRegion trimmed = region;
    trimmed.first += top * region.width * row.unitBytes;
    trimmed.length = (bottom - top + 1) * region.width * row.unitBytes;
    return trimmed;
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
    const int64_t windowBytes = kWindowTiles * tileBytes;
    const int widest = std::min(maxWidth, kWidestScanned);
    // Windows on whole tiles from the data's start, from a window before `from` so that a region
    // that began there is seen whole.
    int64_t window = std::max<int64_t>(0, from - windowBytes) / tileBytes * tileBytes;
    GraphicsRegion open{};
    auto close = [&] {
        if (open.length > 0) open = trimmedToRows(data, size, open, row);
        const int64_t tiles = open.length / tileBytes;
        if (tiles >= kRegionLeastTiles && tiles >= kRegionLeastTileRows * open.width && open.first >= from &&
            open.first < to) {
            regions.push_back(open);
            tellSettled(meter, regions, regions.size() - 1, regions.size());
        }
        open = {};
    };
    for (; window + windowBytes <= size && (window < to || open.length > 0) &&
           keepScanning(meter, from, to, window);
         window += windowBytes) {
        const WidthGuess guess = guessFromEdges(tileEdges(data, size, window, kWindowTiles, row), widest,
                                                kLeastRegionTileScore, kMostRegionEdgeShare);
        const int width = guess.count > 0 ? guess.candidates[0].width : 0;
        if (width > 0 && open.length > 0 && width == open.width && window <= open.first + open.length) {
            open.length = window + windowBytes - open.first;
            continue;
        }
        close();
        if (width > 0 && window < to) open = {window, windowBytes, width, guess.candidates[0].score};
    }
    if (!meter.stopped) close();
    return regions;
}

}  // namespace finder

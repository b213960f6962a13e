#include "viewer/engine/pixel_kernels_avx2_tiles.h"

#include <algorithm>
#include <cstring>
#include <span>

#if defined(__x86_64__)

namespace avx2 {

namespace {

constexpr int kTileRows = 8;
constexpr int kRoundTiles = 4;
constexpr int kRoundPixels = 32;
// Past this many bytes read by a round (its four tiles) the kernel declines: a round near the
// data's end is copied.
constexpr int64_t kMostRoundReach = 1024;

// A round's bytes: where they lie, or copied with zeros past the data's end.
PL_AVX2_STEP const uint8_t* roundBytes(const uint8_t* tiles, int64_t at, int64_t size, int64_t reach,
                                       uint8_t (&copy)[kMostRoundReach]) {
    if (at + reach <= size) return tiles + at;
    std::memset(copy, 0, static_cast<size_t>(reach));
    if (at < size) std::memcpy(copy, tiles + at, static_cast<size_t>(std::min(size - at, reach)));
    return copy;
}

// Window bytes `at` on of tiles e (low lane) and e + 2 (high lane) of a round.
PL_AVX2_STEP __m256i windowOf(const uint8_t* round, int64_t tileBytes, int e, int64_t at) {
    return twoLanes(round + e * tileBytes + at, round + (e + 2) * tileBytes + at);
}

// Planar tiles: kPairs pairs of planes from kWindows windows; kOwn: pair q from window q alone.
template <int kPairs, int kWindows, bool kOwn>
PL_AVX2 void planarTiles(const TileRows& t, const uint8_t* tiles, int64_t size, int pixels, uint8_t* values,
                         size_t lineBytes) {
    // Locals: the stores of the values cannot change them.
    __m256i pick[kPairs][kWindows];
    int64_t windowAt[kWindows];
    for (int w = 0; w < kWindows; ++w) {
        windowAt[w] = t.windowAt[0][w];
        for (int q = 0; q < kPairs; ++q) pick[q][w] = bothLanes(t.pick[q][w]);
    }
    const __m256i low = bothLanes(t.transform.low), high = bothLanes(t.transform.high);
    const __m256i map = bothLanes(t.valueMap);
    const bool identity = t.identity, mapped = t.mapped;
    const int64_t tileBytes = t.tileBytes, reach = 3 * tileBytes + t.reach;
    int64_t at = 0;
    for (int x = 0; x < pixels; x += kRoundPixels, at += kRoundTiles * tileBytes) {
        alignas(32) uint8_t copy[kMostRoundReach];
        const uint8_t* round = roundBytes(tiles, at, size, reach, copy);
        __m256i window[2][kWindows];
        for (int e = 0; e < 2; ++e) {
            for (int w = 0; w < kWindows; ++w) {
                window[e][w] = windowOf(round, tileBytes, e, windowAt[w]);
                if (!identity) window[e][w] = throughNibbleTables(low, high, window[e][w]);
            }
        }
        // Plane b of row y of tile 2L + e at byte 2y + e of lane L of r[b].
        __m256i r[8];
        for (int q = 0; q < 4; ++q) {
            if (q >= kPairs) {
                r[2 * q] = r[2 * q + 1] = _mm256_setzero_si256();
                continue;
            }
            __m256i pair[2];
            for (int e = 0; e < 2; ++e) {
                if constexpr (kOwn) {
                    pair[e] = _mm256_shuffle_epi8(window[e][q], pick[q][q]);
                } else {
                    pair[e] = _mm256_shuffle_epi8(window[e][0], pick[q][0]);
                    for (int w = 1; w < kWindows; ++w)
                        pair[e] = _mm256_or_si256(pair[e], _mm256_shuffle_epi8(window[e][w], pick[q][w]));
                }
            }
            r[2 * q] = _mm256_unpacklo_epi8(pair[0], pair[1]);
            r[2 * q + 1] = _mm256_unpackhi_epi8(pair[0], pair[1]);
        }
        transposeBits(r);
        // Pixel j of each row of 8 is bit 7 - j of its plane bytes.
        __m256i v[8];
        for (int j = 0; j < 8; ++j) v[j] = mapped ? _mm256_shuffle_epi8(map, r[7 - j]) : r[7 - j];
        __m256i rows[8];
        interleavePixels(v, rows);
        for (int y = 0; y < kTileRows; ++y)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(values + y * lineBytes + x), rows[y]);
    }
}

// Groups of 16 bytes of each tile, each from kWindows windows of its own (or, 0, from one window as it
// lies), held as locals: the stores of the values cannot change them.
template <int kGroups, int kWindows>
struct GroupWindows {
    static constexpr int kLoads = kWindows == 0 ? 1 : kWindows;
    __m256i pick[kGroups][kLoads];
    int64_t windowAt[kGroups][kLoads];
};

template <int kGroups, int kWindows>
PL_AVX2_STEP GroupWindows<kGroups, kWindows> groupWindows(const TileRows& t) {
    GroupWindows<kGroups, kWindows> made;
    for (int g = 0; g < kGroups; ++g) {
        for (int w = 0; w < made.kLoads; ++w) {
            made.windowAt[g][w] = t.windowAt[g][w];
            made.pick[g][w] = bothLanes(t.pick[g][w]);
        }
    }
    return made;
}

// Group g of tiles e (low lane) and e + 2 (high lane) of a round.
template <int kGroups, int kWindows>
PL_AVX2_STEP __m256i groupOf(const GroupWindows<kGroups, kWindows>& gw, const uint8_t* round,
                             int64_t tileBytes, int e, int g) {
    __m256i group = _mm256_setzero_si256();
    for (int w = 0; w < gw.kLoads; ++w) {
        __m256i v = windowOf(round, tileBytes, e, gw.windowAt[g][w]);
        if constexpr (kWindows > 0) v = _mm256_shuffle_epi8(v, gw.pick[g][w]);
        group = w == 0 ? v : _mm256_or_si256(group, v);
    }
    return group;
}

// Tiles of 8-bit pixels: each pair of rows from kWindows windows of each tile, or (0) from one window
// whose 16 bytes are the two rows as they lie.
template <int kWindows>
PL_AVX2 void byteTiles(const TileRows& t, const uint8_t* tiles, int64_t size, int pixels, uint8_t* values,
                       size_t lineBytes) {
    const GroupWindows<4, kWindows> groups = groupWindows<4, kWindows>(t);
    const __m256i low = bothLanes(t.transform.low), high = bothLanes(t.transform.high);
    const bool identity = t.identity;
    const int64_t tileBytes = t.tileBytes, reach = 3 * tileBytes + t.reach;
    int64_t at = 0;
    for (int x = 0; x < pixels; x += kRoundPixels, at += kRoundTiles * tileBytes) {
        alignas(32) uint8_t copy[kMostRoundReach];
        const uint8_t* round = roundBytes(tiles, at, size, reach, copy);
        for (int q = 0; q < 4; ++q) {
            // Rows 2q and 2q + 1 of tile 2L + e in lane L of pair[e].
            const __m256i pair[2] = {groupOf(groups, round, tileBytes, 0, q),
                                     groupOf(groups, round, tileBytes, 1, q)};
            __m256i rows[2] = {_mm256_unpacklo_epi64(pair[0], pair[1]),
                               _mm256_unpackhi_epi64(pair[0], pair[1])};
            for (int k = 0; k < 2; ++k) {
                if (!identity) rows[k] = throughNibbleTables(low, high, rows[k]);
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(values + (2 * q + k) * lineBytes + x),
                                    rows[k]);
            }
        }
    }
}

// Tiles of 4-bit pixels two to a byte: rows 4h .. 4h + 3 of each tile from kWindows windows (or, 0,
// from one window whose 16 bytes are the four rows as they lie), 4 bytes a row; each byte's first
// pixel in its high nibble (kHighFirst) or its low one.
template <int kWindows, bool kHighFirst>
PL_AVX2 void nibbleTiles(const TileRows& t, const uint8_t* tiles, int64_t size, int pixels, uint8_t* values,
                         size_t lineBytes) {
    const GroupWindows<2, kWindows> groups = groupWindows<2, kWindows>(t);
    const __m256i low = bothLanes(t.transform.low), high = bothLanes(t.transform.high);
    const __m256i map = bothLanes(t.valueMap), nibble = _mm256_set1_epi8(15);
    const bool identity = t.identity, mapped = t.mapped;
    const int64_t tileBytes = t.tileBytes, reach = 3 * tileBytes + t.reach;
    int64_t at = 0;
    for (int x = 0; x < pixels; x += kRoundPixels, at += kRoundTiles * tileBytes) {
        alignas(32) uint8_t copy[kMostRoundReach];
        const uint8_t* round = roundBytes(tiles, at, size, reach, copy);
        for (int h = 0; h < 2; ++h) {
            // Rows 4h .. 4h + 3 of tile 2L + e in lane L of quad[e], 4 bytes each.
            __m256i quad[2];
            for (int e = 0; e < 2; ++e) {
                quad[e] = groupOf(groups, round, tileBytes, e, h);
                if (!identity) quad[e] = throughNibbleTables(low, high, quad[e]);
            }
            // Rows 4h + 2p and 4h + 2p + 1 of two tiles a lane, then each byte's two pixels in turn.
            const __m256i pairs[2] = {_mm256_unpacklo_epi32(quad[0], quad[1]),
                                      _mm256_unpackhi_epi32(quad[0], quad[1])};
            for (int p = 0; p < 2; ++p) {
                const __m256i highNibbles = _mm256_and_si256(_mm256_srli_epi16(pairs[p], 4), nibble);
                const __m256i lowNibbles = _mm256_and_si256(pairs[p], nibble);
                const __m256i first = kHighFirst ? highNibbles : lowNibbles;
                const __m256i second = kHighFirst ? lowNibbles : highNibbles;
                __m256i rows[2] = {_mm256_unpacklo_epi8(first, second), _mm256_unpackhi_epi8(first, second)};
                for (int k = 0; k < 2; ++k) {
                    if (mapped) rows[k] = _mm256_shuffle_epi8(map, rows[k]);
                    _mm256_storeu_si256(
                        reinterpret_cast<__m256i*>(values + (4 * h + 2 * p + k) * lineBytes + x), rows[k]);
                }
            }
        }
    }
}

// Value bit i of pixel x of a tile's row 0 (x 0..7) as `bit` of the tile's byte `offset`, the same in
// each of a chunk's 8 tiles `tileBytes` apart.
struct TileBits {
    BitPlace place[8][8];  // [i][x]
    int64_t tileBytes = 0;
};

bool tileBits(const BitGatherPlan& plan, TileBits& t) {
    if (plan.planeStride != 0 || plan.depth < 1 || plan.depth > 8) return false;
    if (!plan.tileLanes && (!plan.usable || plan.chunkBytes % 8 != 0)) return false;
    t.tileBytes = plan.tileLanes ? plan.laneStride : plan.chunkBytes / 8;
    if (t.tileBytes <= 0) return false;
    for (int i = 0; i < plan.depth; ++i) {
        for (int x = 0; x < 64; ++x) {
            BitPlace p;
            if (!placeOf(plan, i, x, p)) return false;
            if (!plan.tileLanes) p.offset -= x / 8 * t.tileBytes;
            BitPlace& first = t.place[i][x % 8];
            if (x < 8) {
                first = p;
            } else if (p.offset != first.offset || p.bit != first.bit) {
                return false;
            }
        }
    }
    return true;
}

// The 16-byte windows that cover the bytes `needed` (each from the lowest not yet covered); false
// past kMostTileWindows.
bool coverWindows(std::span<int64_t> needed, int64_t (&windowAt)[kMostTileWindows], int& windows) {
    std::sort(needed.begin(), needed.end());
    windows = 0;
    for (const int64_t byte : needed) {
        if (windows > 0 && byte < windowAt[windows - 1] + 16) continue;
        if (windows == kMostTileWindows) return false;
        windowAt[windows++] = byte;
    }
    return true;
}

// Byte k of each pick vector of pair q: byte byteOf(q, k) of the tile (-1 for none), from the window
// holding it; the windows are windowAt[q] (windowsPerPair) or windowAt[0].
template <typename ByteOf>
void makePicks(TileRows& t, int pairs, bool windowsPerPair, ByteOf byteOf) {
    for (int q = 0; q < pairs; ++q) {
        const int64_t* windowAt = t.windowAt[windowsPerPair ? q : 0];
        for (int w = 0; w < kMostTileWindows; ++w) {
            for (int k = 0; k < 16; ++k) {
                const int64_t byte = byteOf(q, k);
                const bool inside = byte >= windowAt[w] && byte < windowAt[w] + 16;
                t.pick[q][w][k] = inside ? static_cast<uint8_t>(byte - windowAt[w]) : 0x80;
            }
        }
    }
}

// The windows past `windows` load the last one again (their picks take nothing from it), so that
// every round loads as many.
void repeatLastWindow(int64_t (&windowAt)[kMostTileWindows], int windows) {
    for (int w = windows; w < kMostTileWindows; ++w) windowAt[w] = windowAt[windows - 1];
}

int roundedUp(int n) {
    return n <= 1 ? 1 : n <= 2 ? 2 : 4;
}

bool pickedOnlyFrom(const TileRows& t, int q, int window) {
    for (int w = 0; w < kMostTileWindows; ++w)
        for (int k = 0; w != window && k < 16; ++k)
            if (t.pick[q][w][k] != 0x80) return false;
    return true;
}

template <int kPairs, int kWindows>
auto planarOf(bool own) {
    if constexpr (kPairs == kWindows && kPairs > 1)
        if (own) return planarTiles<kPairs, kWindows, true>;
    return planarTiles<kPairs, kWindows, false>;
}

template <int kPairs>
auto planarWith(int windows, bool own) {
    return windows == 1   ? planarOf<kPairs, 1>(own)
           : windows == 2 ? planarOf<kPairs, 2>(own)
                          : planarOf<kPairs, 4>(own);
}

// Planar tiles: plane i of row y is the tile's byte o_i + y x step, pixel x its bit 7 - x.
bool planarRows(const TileBits& bits, int depth, int64_t step, TileRows& t) {
    int64_t plane[8];
    int64_t needed[8 * kTileRows];
    for (int i = 0; i < depth; ++i) {
        plane[i] = bits.place[i][0].offset;
        for (int x = 0; x < 8; ++x)
            if (bits.place[i][x].offset != plane[i] || bits.place[i][x].bit != 7 - x) return false;
        for (int y = 0; y < kTileRows; ++y) needed[kTileRows * i + y] = plane[i] + y * step;
    }
    int windows = 0;
    if (!coverWindows(std::span(needed, static_cast<size_t>(kTileRows * depth)), t.windowAt[0], windows))
        return false;
    repeatLastWindow(t.windowAt[0], windows);
    const int pairs = roundedUp((depth + 1) / 2);
    makePicks(t, pairs, false, [&](int q, int k) {
        const int i = 2 * q + k / 8;
        return i < depth ? plane[i] + k % 8 * step : -1;
    });
    bool own = roundedUp(windows) == pairs;
    for (int q = 0; q < pairs; ++q) own = own && pickedOnlyFrom(t, q, q);
    t.reach = t.windowAt[0][windows - 1] + 16;
    t.decode = pairs == 1   ? planarWith<1>(roundedUp(windows), own)
               : pairs == 2 ? planarWith<2>(roundedUp(windows), own)
                            : planarWith<4>(roundedUp(windows), own);
    return true;
}

// The windows and picks of `groups` groups of 16 bytes, byte k of group g the tile's byte byteOf(g, k),
// each group from at most two windows of its own. Returns the windows a group needs at most (0: each
// group's 16 bytes lie as they are in one window), -1 where a group needs more.
template <typename ByteOf>
int coverGroups(TileRows& t, int groups, ByteOf byteOf) {
    int most = 0;
    bool straight = true;
    t.reach = 0;
    for (int g = 0; g < groups; ++g) {
        int64_t needed[16];
        for (int k = 0; k < 16; ++k) needed[k] = byteOf(g, k);
        int windows = 0;
        if (!coverWindows(needed, t.windowAt[g], windows) || windows > 2) return -1;
        repeatLastWindow(t.windowAt[g], windows);
        most = std::max(most, windows);
        t.reach = std::max(t.reach, t.windowAt[g][windows - 1] + 16);
        for (int k = 0; k < 16; ++k) straight = straight && byteOf(g, k) == t.windowAt[g][0] + k;
    }
    makePicks(t, groups, true, byteOf);
    return straight ? 0 : most;
}

// Tiles of 8-bit pixels: pixel x of row y is the tile's byte p_x + y x step, its bits as they lie.
bool byteRows(const TileBits& bits, int depth, int64_t step, TileRows& t) {
    if (depth != 8) return false;
    int64_t pixel[8];
    for (int x = 0; x < 8; ++x) {
        pixel[x] = bits.place[0][x].offset;
        for (int i = 0; i < 8; ++i)
            if (bits.place[i][x].offset != pixel[x] || bits.place[i][x].bit != i) return false;
    }
    const int windows =
        coverGroups(t, 4, [&](int q, int k) { return pixel[k % 8] + (2 * q + k / 8) * step; });
    if (windows < 0) return false;
    t.decode = windows == 0 ? byteTiles<0> : windows == 1 ? byteTiles<1> : byteTiles<2>;
    return true;
}

// Tiles of 4-bit pixels two to a byte: pixels 2k and 2k + 1 of row y are the nibbles of the tile's
// byte p_k + y x step, the first in the same nibble of every byte.
bool nibbleRows(const TileBits& bits, int depth, int64_t step, TileRows& t) {
    if (depth != 4) return false;
    int64_t pair[4];
    const int firstLow = bits.place[0][0].bit;
    if (firstLow != 0 && firstLow != 4) return false;
    for (int x = 0; x < 8; ++x) {
        const int low = x % 2 == 0 ? firstLow : 4 - firstLow;
        if (x % 2 == 0) pair[x / 2] = bits.place[0][x].offset;
        for (int i = 0; i < 4; ++i)
            if (bits.place[i][x].offset != pair[x / 2] || bits.place[i][x].bit != low + i) return false;
    }
    const int windows = coverGroups(t, 2, [&](int h, int k) { return pair[k % 4] + (4 * h + k / 4) * step; });
    if (windows < 0) return false;
    if (firstLow == 4)
        t.decode = windows == 0   ? nibbleTiles<0, true>
                   : windows == 1 ? nibbleTiles<1, true>
                                  : nibbleTiles<2, true>;
    else
        t.decode = windows == 0   ? nibbleTiles<0, false>
                   : windows == 1 ? nibbleTiles<1, false>
                                  : nibbleTiles<2, false>;
    return true;
}

}  // namespace

bool tileRows(const BitGatherPlan& plan, const LineExpander& e, const LineBatch& b, const ValueLines& lines,
              TileRows& t) {
    if (b.unitRows != kTileRows || lines.count < kTileRows || b.copy || b.attributeRows != nullptr ||
        b.unitRowStep < 0)
        return false;
    TileBits bits;
    if (!tileBits(plan, bits)) return false;
    t.tileBytes = bits.tileBytes;
    t.identity = b.identity;
    if (!b.identity && !copyTables(b.transform, t.transform)) return false;
    // Values of at most 4 bits are looked up in 16 entries of the map; others are declined unless
    // the map leaves them.
    t.mapped = !e.mapIdentity;
    std::memcpy(t.valueMap, e.valueMap, sizeof t.valueMap);
    if (t.mapped && plan.depth > 4) return false;
    const bool made = planarRows(bits, plan.depth, b.unitRowStep, t) ||
                      nibbleRows(bits, plan.depth, b.unitRowStep, t) ||
                      (!t.mapped && byteRows(bits, plan.depth, b.unitRowStep, t));
    return made && 3 * t.tileBytes + t.reach <= kMostRoundReach;
}

void decodeTileRows(const TileRows& t, const LineBatch& b, int64_t rowStart, const ValueLines& lines) {
    for (const LineStrip& strip : std::span(b.strips, b.stripCount)) {
        const int64_t at = rowStart + strip.offset;
        t.decode(t, b.data + at, b.dataSize - at, strip.pixels, lines.first + strip.pixel, lines.lineBytes);
    }
}

}  // namespace avx2

#endif

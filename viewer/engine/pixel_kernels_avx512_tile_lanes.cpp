#include "viewer/engine/pixel_kernels_avx512_tile_lanes.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)

namespace avx512 {

namespace {

// What decoding tile lanes keeps in registers.
struct TileLaneKernel {
    Table256 transform, valueMap;
    __m512i arrange, matrix;
    __mmask64 keep;
    int64_t laneStride;
    bool identity;
};

PL_AVX512_STEP TileLaneKernel tileLaneKernel(const BitGatherPlan& plan, const RowArrangements& rowPlans,
                                             const SourceRun& run, bool mapped) {
    TileLaneKernel k{transformTable(run),
                     {},
                     _mm512_load_si512(rowPlans.tile),
                     loadBytes(plan.matrix),
                     rowPlans.tileKeep,
                     plan.laneStride,
                     run.identity};
    if (mapped) k.valueMap = loadTable256(run.expander->valueMap);
    return k;
}

// How a tile's bytes become its lanes: loaded as they lie (a tile of 64 bytes whose rows are its
// lanes already), or arranged from one or two windows.
enum class TileLoad { Straight, OneWindow, TwoWindows };

// How the lanes' bytes become values: planes through the matrix, packed bits through it, or the
// bytes themselves (the matrix is the identity).
enum class LaneBits { Planar, Packed, Bytes };

// The masks of every 64-bit lane keep GCC 12's headers from reading an unset vector.
constexpr __mmask8 kAllLanes = 0xFF;

// Eight vectors of 8 lanes each, transposed: lane g of out[y] is lane y of in[g].
PL_AVX512_STEP void transposeLanes(const __m512i (&in)[8], __m512i (&out)[8]) {
    // Tiles 2p and 2p + 1 side by side: their even lanes, and their odd ones.
    __m512i even[4], odd[4];
    for (int p = 0; p < 4; ++p) {
        even[p] = _mm512_maskz_unpacklo_epi64(kAllLanes, in[2 * p], in[2 * p + 1]);
        odd[p] = _mm512_maskz_unpackhi_epi64(kAllLanes, in[2 * p], in[2 * p + 1]);
    }
    // Four tiles side by side: lanes 0 and 4 (of the even ones; 1 and 5 of the odd), and 2 and 6.
    const __m512i firstPairs = _mm512_set_epi64(13, 12, 5, 4, 9, 8, 1, 0);
    const __m512i secondPairs = _mm512_set_epi64(15, 14, 7, 6, 11, 10, 3, 2);
    for (int q = 0; q < 2; ++q) {
        const __m512i l04 =
            _mm512_maskz_permutex2var_epi64(kAllLanes, even[2 * q], firstPairs, even[2 * q + 1]);
        const __m512i l26 =
            _mm512_maskz_permutex2var_epi64(kAllLanes, even[2 * q], secondPairs, even[2 * q + 1]);
        const __m512i l15 =
            _mm512_maskz_permutex2var_epi64(kAllLanes, odd[2 * q], firstPairs, odd[2 * q + 1]);
        const __m512i l37 =
            _mm512_maskz_permutex2var_epi64(kAllLanes, odd[2 * q], secondPairs, odd[2 * q + 1]);
        // Kept for the last step: q = 0 in out[0..3], q = 1 in out[4..7].
        out[4 * q] = l04, out[4 * q + 1] = l15, out[4 * q + 2] = l26, out[4 * q + 3] = l37;
    }
    __m512i rows[8];
    for (int i = 0; i < 4; ++i) {
        rows[i] = _mm512_maskz_shuffle_i64x2(kAllLanes, out[i], out[4 + i], 0x44);
        rows[4 + i] = _mm512_maskz_shuffle_i64x2(kAllLanes, out[i], out[4 + i], 0xEE);
    }
    for (int y = 0; y < 8; ++y) out[y] = rows[y];
}

// The values of unit rows 0..7 of the chunk `offset` bytes into the run: the 8 tiles each loaded
// and arranged, a lane a row, decoded, then transposed.
template <TileLoad kLoad, LaneBits kBits, bool kMapped>
PL_AVX512_STEP void tileLaneRows(const TileLaneKernel& k, const SourceRun& run, int64_t offset,
                                 __m512i (&rows)[8]) {
    __m512i tiles[8];
    for (int g = 0; g < 8; ++g) {
        const int64_t at = offset + g * k.laneStride;
        __m512i lanes;
        if constexpr (kLoad == TileLoad::Straight)
            lanes = rawVector(run, at);
        else if constexpr (kLoad == TileLoad::OneWindow)
            lanes = _mm512_maskz_permutexvar_epi8(k.keep, k.arrange, rawVector(run, at));
        else
            lanes = _mm512_maskz_permutex2var_epi8(k.keep, rawVector(run, at), k.arrange,
                                                   rawVector(run, at + 64));
        lanes = transformedLanes(lanes, k.transform, k.keep, k.identity);
        __m512i values = lanes;
        if constexpr (kBits == LaneBits::Planar) values = _mm512_gf2p8affine_epi64_epi8(k.matrix, lanes, 0);
        if constexpr (kBits == LaneBits::Packed) values = _mm512_gf2p8affine_epi64_epi8(lanes, k.matrix, 0);
        if constexpr (kMapped) values = lookup256(k.valueMap, values);
        tiles[g] = values;
    }
    transposeLanes(tiles, rows);
}

template <TileLoad kLoad, LaneBits kBits, bool kMapped>
PL_AVX512 void decodeTileLanes(const BitGatherPlan& plan, const RowArrangements& rowPlans, int rows,
                               const SourceRun& run, int pixels, uint8_t* values, size_t lineBytes) {
    const TileLaneKernel k = tileLaneKernel(plan, rowPlans, run, kMapped);
    const int64_t chunkBytes = plan.chunkBytes;
    int64_t offset = 0;
    for (int x = 0; x < pixels; x += 64, offset += chunkBytes) {
        __m512i unitRows[8];
        tileLaneRows<kLoad, kBits, kMapped>(k, run, offset, unitRows);
        for (int y = 0; y < rows; ++y)
            _mm512_storeu_si512(reinterpret_cast<void*>(values + y * lineBytes + x), unitRows[y]);
    }
}

template <TileLoad kLoad, LaneBits kBits, bool kMapped, bool kGrey>
PL_AVX512 void expandTileLanes(const BitGatherPlan& plan, const RowArrangements& rowPlans, const RowsOut& to,
                               const SourceRun& run, int pixels, int64_t bytes) {
    const RowsOut rows = to;  // a local: the stores into the image cannot change it
    const TileLaneKernel k = tileLaneKernel(plan, rowPlans, run, kMapped);
    const ExpandVectors x = expandVectors(*run.expander);
    const int64_t chunkBytes = plan.chunkBytes;
    for (int n = 0; n < rows.group.lines; ++n) {
        uint8_t* const first = rows.first + n * rows.group.step;
        int64_t offset = n * rows.group.source;
        for (int px = 0; px < pixels; px += 64, offset += chunkBytes) {
            __m512i unitRows[8];
            tileLaneRows<kLoad, kBits, kMapped>(k, run, offset, unitRows);
            for (int y = 0; y < rows.count; ++y)
                putChunk<kGrey>(x, first + y * rows.step, bytes, unitRows[y], px);
        }
    }
}

template <TileLoad kLoad, LaneBits kBits>
UnitRowsDecoder decoderFor(bool mapped) {
    return mapped ? decodeTileLanes<kLoad, kBits, true> : decodeTileLanes<kLoad, kBits, false>;
}

template <TileLoad kLoad, LaneBits kBits>
UnitRowExpander expanderFor(bool mapped, bool grey) {
    if (mapped)
        return grey ? expandTileLanes<kLoad, kBits, true, true> : expandTileLanes<kLoad, kBits, true, false>;
    return grey ? expandTileLanes<kLoad, kBits, false, true> : expandTileLanes<kLoad, kBits, false, false>;
}

// The matrix that leaves every byte as it is: row 7 - i takes bit i.
constexpr uint64_t kIdentityMatrix = 0x0102040810204080;

LaneBits laneBits(const BitGatherPlan& plan) {
    if (plan.planar) return LaneBits::Planar;
    uint64_t first = 0;
    std::memcpy(&first, plan.matrix, 8);
    return first == kIdentityMatrix ? LaneBits::Bytes : LaneBits::Packed;
}

// Whether each tile's lanes are its 64 bytes as they lie.
bool straightTiles(const RowArrangements& rowPlans) {
    if (rowPlans.tileKeep != ~uint64_t{0}) return false;
    for (int i = 0; i < 64; ++i)
        if (rowPlans.tile[i] != i) return false;
    return true;
}

TileLoad tileLoad(const RowArrangements& rowPlans) {
    return rowPlans.tileWindows == 2 ? TileLoad::TwoWindows
           : straightTiles(rowPlans) ? TileLoad::Straight
                                     : TileLoad::OneWindow;
}

// make.template operator()<kLoad, kBits>() for the plan's shapes.
template <TileLoad kLoad, typename Make>
auto forBits(LaneBits bits, Make make) {
    return bits == LaneBits::Planar   ? make.template operator()<kLoad, LaneBits::Planar>()
           : bits == LaneBits::Packed ? make.template operator()<kLoad, LaneBits::Packed>()
                                      : make.template operator()<kLoad, LaneBits::Bytes>();
}

template <typename Make>
auto forShapes(TileLoad load, LaneBits bits, Make make) {
    return load == TileLoad::Straight    ? forBits<TileLoad::Straight>(bits, make)
           : load == TileLoad::OneWindow ? forBits<TileLoad::OneWindow>(bits, make)
                                         : forBits<TileLoad::TwoWindows>(bits, make);
}

}  // namespace

UnitRowsDecoder tileLaneDecoder(const BitGatherPlan& plan, const LineExpander& e, int64_t step, int rows,
                                RowArrangements& rowPlans) {
    if (!plan.tileLanes || rows < 1 || rows > kSharedUnitRows || step < 0) return nullptr;
    int64_t reach = 0;
    rowPlans.tileKeep = 0;
    for (int y = 0; y < 8; ++y) {
        for (int j = 0; j < 8; ++j) {
            const bool kept = y < rows && ((plan.keep >> j) & 1) != 0;
            const int64_t at = plan.arrange[j] + y * step;
            if (kept) reach = std::max(reach, at + 1);
            rowPlans.tile[8 * y + j] = kept && at < 128 ? static_cast<uint8_t>(at) : 0;
            if (kept) rowPlans.tileKeep |= uint64_t{1} << (8 * y + j);
        }
    }
    if (reach > 128) return nullptr;
    rowPlans.tileWindows = reach <= 64 ? 1 : 2;
    const bool mapped = mapsValues(plan, e);
    return forShapes(tileLoad(rowPlans), laneBits(plan),
                     [&]<TileLoad kLoad, LaneBits kBits>() { return decoderFor<kLoad, kBits>(mapped); });
}

UnitRowExpander tileLaneExpander(const BitGatherPlan& plan, const LineExpander& e,
                                 const RowArrangements& rowPlans, int zoomRows) {
    if (!plan.tileLanes || e.factor != 1 || zoomRows != 1) return nullptr;
    const bool mapped = mapsValues(plan, e);
    return forShapes(tileLoad(rowPlans), laneBits(plan), [&]<TileLoad kLoad, LaneBits kBits>() {
        return expanderFor<kLoad, kBits>(mapped, e.grey);
    });
}

}  // namespace avx512

#endif

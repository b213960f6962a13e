// The small steps the AVX-512 kernels share (pixel_kernels_avx512*.cpp): masks and loads, byte
// look-ups, the expander's screen vectors, and what the tile kernels are handed.
#pragma once

#include "viewer/engine/pixel_kernels.h"

#if defined(__x86_64__)
#include <immintrin.h>

namespace avx512 {

#define PL_AVX512 \
    __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,avx512vbmi,avx512bitalg,gfni,bmi2")))
// The small steps, inlined into the loops that use them.
#define PL_AVX512_STEP PL_AVX512 inline __attribute__((always_inline))

// Lanes of the first n bytes (n may lie outside 0..64).
PL_AVX512_STEP __mmask64 firstBytes(int64_t n) {
    return n >= 64 ? ~__mmask64{0} : n <= 0 ? 0 : _bzhi_u64(~uint64_t{0}, static_cast<unsigned>(n));
}

// vpermb: byte i of the result is byte index[i] mod 64 of v. (The all-lanes mask keeps GCC 12's
// header from reading an unset vector.)
PL_AVX512_STEP __m512i permuteBytes(__m512i index, __m512i v) {
    return _mm512_maskz_permutexvar_epi8(~__mmask64{0}, index, v);
}

PL_AVX512_STEP __m512i loadBytes(const uint8_t* p) {
    return _mm512_loadu_si512(reinterpret_cast<const void*>(p));
}

// Any 256-entry byte table as four vectors, looked up 64 bytes at a time.
struct Table256 {
    __m512i part[4];
};

PL_AVX512_STEP Table256 loadTable256(const uint8_t* table) {
    return {{loadBytes(table), loadBytes(table + 64), loadBytes(table + 128), loadBytes(table + 192)}};
}

// The byte transform's table, not loaded when the transform changes no byte.
PL_AVX512_STEP Table256 transformTable(const SourceRun& run) {
    Table256 table{};
    if (!run.identity) table = loadTable256(run.transform);
    return table;
}

PL_AVX512_STEP __m512i lookup256(const Table256& t, __m512i v) {
    const __m512i low = _mm512_permutex2var_epi8(t.part[0], v, t.part[1]);
    const __m512i high = _mm512_permutex2var_epi8(t.part[2], v, t.part[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
}

// View rows drawn by one call: `lines` of them, each `source` bytes on in the data and `step`
// image bytes on from the one before.
struct LineGroup {
    int lines = 1;
    int64_t source = 0;
    ptrdiff_t step = 0;
    int after = 0;  // lines of the batch that follow the group's, at the same steps
    int ahead = 0;  // how many lines on a line asks for the bytes of (0: none)
};

// The vectors of one expander, loaded once per call.
struct ExpandVectors {
    __m512i colours;
    __m512i pick[3];
    __m512i channel[3];
};

PL_AVX512_STEP ExpandVectors expandVectors(const LineExpander& e) {
    return {
        _mm512_load_si512(e.colours),
        {_mm512_load_si512(e.pick[0]), _mm512_load_si512(e.pick[1]), _mm512_load_si512(e.pick[2])},
        {_mm512_load_si512(e.channel[0]), _mm512_load_si512(e.channel[1]), _mm512_load_si512(e.channel[2])}};
}

// Output vector k of a group: grey levels repeated 3 x factor times, or colour numbers
// repeated and then looked up in a table of 16 colours x 3 bytes.
template <bool kGrey>
PL_AVX512_STEP __m512i groupVector(const ExpandVectors& x, __m512i values, int k) {
    const __m512i v = permuteBytes(x.pick[k], values);
    if constexpr (kGrey) return v;
    return permuteBytes(_mm512_or_si512(v, x.channel[k]), x.colours);
}

// One window of the source, zeros past its readable end; sourceVector: through the byte transform.
PL_AVX512_STEP __m512i rawVector(const SourceRun& run, int64_t offset) {
    if (offset + 64 <= run.size) return loadBytes(run.bytes + offset);
    if (offset < run.size) return _mm512_maskz_loadu_epi8(firstBytes(run.size - offset), run.bytes + offset);
    return _mm512_setzero_si512();
}

// The byte transform of the lanes' bytes, the unused ones left 0: one lookup per chunk,
// however many windows it reads.
PL_AVX512_STEP __m512i transformedLanes(__m512i lanes, const Table256& transform, __mmask64 keep,
                                        bool identity) {
    return identity ? lanes : _mm512_maskz_mov_epi8(keep, lookup256(transform, lanes));
}

// The screen vectors of a chunk of 64 values, each value kFactor screen pixels wide (64 /
// kFactor values a group of three vectors), into an image row of `bytes` screen bytes.
template <bool kGrey, int kFactor = 1>
PL_AVX512_STEP void putChunk(const ExpandVectors& x, uint8_t* row, int64_t bytes, __m512i values, int px) {
    static_assert(kFactor == 1 || kFactor == 2);
    const int64_t at = int64_t{px} * kScreenPixelBytes * kFactor;
    const bool whole = at + 192 * kFactor <= bytes;
    for (int g = 0; g < kFactor; ++g) {
        // The second group's values are the chunk's last 32, moved to the front.
        const __m512i group = g == 0 ? values : _mm512_maskz_alignr_epi32(0xFFFF, values, values, 8);
        for (int v = 0; v < 3; ++v) {
            const int64_t to = at + 192 * g + 64 * v;
            const __m512i screen = groupVector<kGrey>(x, group, v);
            if (whole)
                _mm512_storeu_si512(reinterpret_cast<void*>(row + to), screen);
            else if (to < bytes)
                _mm512_mask_storeu_epi8(row + to, firstBytes(bytes - to), screen);
        }
    }
}

// Tile modes: the unit rows of a view row lie a fixed step apart in every tile, so the windows
// of a chunk serve all of them, each row arranged as the plan's shifted by y steps.
// Plans of tile lanes: byte 8y + j of a tile's lanes is its byte tile[8y + j] (of 128, in
// tileWindows windows), where bit 8y + j of tileKeep is set.
struct RowArrangements {
    alignas(64) uint8_t arrange[kSharedUnitRows][64];
    uint64_t high[kSharedUnitRows];
    alignas(64) uint8_t tile[64];
    uint64_t tileKeep = 0;
    int tileWindows = 0;
};

// The image rows of unit rows: unit row y's first at `first` + y x `step`, and each of its
// further rows (at zoom 2) `zoomStep` bytes after the one before.
struct RowsOut {
    uint8_t* first;
    ptrdiff_t step;
    int count;
    ptrdiff_t zoomStep = 0;  // from an image row of a unit row to the next image row of it
    LineGroup group = {};
};

// Unit rows of a view row, straight into their image rows; and into lines of values.
using UnitRowExpander = void (*)(const BitGatherPlan&, const RowArrangements&, const RowsOut&,
                                 const SourceRun&, int, int64_t);

using UnitRowsDecoder = void (*)(const BitGatherPlan&, const RowArrangements&, int, const SourceRun&, int,
                                 uint8_t*, size_t);

}  // namespace avx512

#endif

// The AVX-512 kernels of the view's drawing (with VBMI, BITALG, GFNI and BMI2): they replace the
// portable entries of a kernel table when the processor has the instructions.
#include <algorithm>
#include <cstring>
#include <span>

#include "viewer/engine/pixel_kernels_avx512.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include "viewer/engine/pixel_kernels_avx512_steps.h"
#include "viewer/engine/pixel_kernels_avx512_tile_lanes.h"

namespace {

using namespace avx512;

PL_AVX512_STEP void storeToRows(const LineRows rows, uint8_t* at, __m512i v, __mmask64 lanes) {
    for (int r = 0; r < rows.rows; ++r, at += rows.step) _mm512_mask_storeu_epi8(at, lanes, v);
}

// kRows: exactly that many rows (1 or 2), or 0 for rows.rows of them (at least 1).
template <int kRows>
PL_AVX512_STEP void storeToRows(const LineRows rows, uint8_t* at, __m512i v) {
    _mm512_storeu_si512(reinterpret_cast<void*>(at), v);
    if constexpr (kRows == 1) return;
    if constexpr (kRows == 2) return _mm512_storeu_si512(reinterpret_cast<void*>(at + rows.step), v);
    for (int r = 1; r < rows.rows; ++r) _mm512_storeu_si512(reinterpret_cast<void*>(at + r * rows.step), v);
}

// The source of line n of a group that starts with `run`.
PL_AVX512_STEP SourceRun groupLine(const SourceRun& run, const LineGroup& g, int n) {
    const int64_t skip = n * g.source;
    return {run.bytes + skip, run.size - skip, run.transform, run.identity, run.expander};
}

// A group of 64 / factor pixels gives three vectors, each stored into every row (kRows as for
// storeToRows).
template <bool kGrey, int kRows>
PL_AVX512_STEP void expandGroupsOfLine(const ExpandVectors& x, int groupPixels, const uint8_t* values,
                                       const LineRows& rows, uint8_t* out, size_t bytes) {
    size_t done = 0;
    for (; done + 192 <= bytes; done += 192, values += groupPixels) {
        const __m512i group = loadBytes(values);
        storeToRows<kRows>(rows, out + done, groupVector<kGrey>(x, group, 0));
        storeToRows<kRows>(rows, out + done + 64, groupVector<kGrey>(x, group, 1));
        storeToRows<kRows>(rows, out + done + 128, groupVector<kGrey>(x, group, 2));
    }
    if (done == bytes) return;
    const __m512i group = loadBytes(values);
    for (int k = 0; k < 3 && done + 64 * k < bytes; ++k)
        storeToRows(rows, out + done + 64 * k, groupVector<kGrey>(x, group, k),
                    firstBytes(int64_t(bytes - done) - 64 * k));
}

template <bool kGrey, int kRows>
PL_AVX512 void expandGroups(const LineExpander& e, const uint8_t* values, const LineRows& rows, uint8_t* out,
                            size_t bytes, const LineGroup& g) {
    const ExpandVectors x = expandVectors(e);
    const LineGroup group = g;  // a local: the stores into the image cannot change it
    for (int n = 0; n < group.lines; ++n)
        expandGroupsOfLine<kGrey, kRows>(x, e.groupPixels, values + n * group.source, rows,
                                         out + n * group.step, bytes);
}

using GroupExpander = void (*)(const LineExpander&, const uint8_t*, const LineRows&, uint8_t*, size_t,
                               const LineGroup&);

template <bool kGrey>
GroupExpander groupExpanderFor(int rows) {
    return rows == 1 ? expandGroups<kGrey, 1> : rows == 2 ? expandGroups<kGrey, 2> : expandGroups<kGrey, 0>;
}

GroupExpander groupExpander(const LineExpander& e, int rows) {
    return e.grey ? groupExpanderFor<true>(rows) : groupExpanderFor<false>(rows);
}

PL_AVX512_STEP __m512i sourceVector(const SourceRun& run, const Table256& transform, int64_t offset) {
    const __m512i v = rawVector(run, offset);
    return run.identity ? v : lookup256(transform, v);
}

// What the decoding loop reads of the plan and the run, held as locals: the loop's stores
// could otherwise change them as far as the compiler knows.
struct ChunkSource {
    const uint8_t* bytes;
    int64_t size;
    int windowVectors;
    int depth;
    int64_t planeStride;
    __mmask64 keep, high;
    __m512i arrange;
    bool identity;
};

// The bytes of a chunk whose window starts `offset` bytes into the run, moved into the lanes.
template <int kWindows>
PL_AVX512_STEP __m512i arrangedBytes(const ChunkSource& s, int64_t offset) {
    const SourceRun run{s.bytes, s.size, nullptr, s.identity, nullptr};
    const __m512i w0 = rawVector(run, offset);
    if constexpr (kWindows == 1) return _mm512_maskz_permutexvar_epi8(s.keep, s.arrange, w0);
    const __m512i w1 = rawVector(run, offset + 64);
    if constexpr (kWindows == 2) return _mm512_maskz_permutex2var_epi8(s.keep, w0, s.arrange, w1);
    const __m512i w2 = rawVector(run, offset + 128);
    const __m512i w3 = rawVector(run, offset + 192);
    return _mm512_or_si512(_mm512_maskz_permutex2var_epi8(s.keep & ~s.high, w0, s.arrange, w1),
                           _mm512_maskz_permutex2var_epi8(s.keep & s.high, w2, s.arrange, w3));
}

template <bool kPlanar, int kWindows, bool kMapped>
PL_AVX512 void decodeChunks(const BitGatherPlan& plan, const SourceRun& run, int pixels, uint8_t* values) {
    const Table256 transform = transformTable(run);
    const __m512i valueMap = loadBytes(run.expander->valueMap);
    const ChunkSource source{run.bytes,        run.size,  plan.windowVectors, plan.depth,
                             plan.planeStride, plan.keep, plan.arrangeHigh,   loadBytes(plan.arrange),
                             run.identity};
    const __m512i matrix = loadBytes(plan.matrix);
    const __m512i reorder = loadBytes(plan.reorder);
    const int64_t chunkBytes = plan.chunkBytes;
    int64_t offset = 0;
    for (int x = 0; x < pixels; x += 64, offset += chunkBytes) {
        const __m512i lanes = transformedLanes(arrangedBytes<kWindows>(source, offset), transform,
                                               source.keep, source.identity);
        __m512i out;
        if constexpr (kPlanar) {
            out = _mm512_gf2p8affine_epi64_epi8(matrix, lanes, 0);
        } else {
            out = permuteBytes(reorder, _mm512_gf2p8affine_epi64_epi8(lanes, matrix, 0));
        }
        if constexpr (kMapped) out = permuteBytes(out, valueMap);
        _mm512_storeu_si512(reinterpret_cast<void*>(values + x), out);
    }
}

// Plane modes: a window of every plane serves eight chunks (8 bytes of each plane a chunk);
// the lanes of a chunk come from two planes per permute, and from an odd plane left over alone.
template <int kDepth, bool kMapped, typename Out>
PL_AVX512_STEP void planeChunks(const BitGatherPlan& plan, const SourceRun& run, int pixels, const Out& out) {
    const Table256 transform = transformTable(run);
    const __m512i valueMap = loadBytes(run.expander->valueMap);
    const __m512i arrange = loadBytes(plan.arrange);
    const __m512i units = loadBytes(plan.matrix);
    const int64_t stride = plan.planeStride;
    const __mmask64 keep = plan.keep;
    __mmask64 pairKeep[4];
    for (int p = 0; p < 4; ++p) pairKeep[p] = plan.pairKeep[p];
    for (int x = 0; x < pixels; x += 512) {
        __m512i planes[kDepth];
        for (int b = 0; b < kDepth; ++b) planes[b] = rawVector(run, x / 8 + b * stride);
        for (int c = 0; c < 8 && x + 64 * c < pixels; ++c) {
            const __m512i at = _mm512_add_epi8(arrange, _mm512_set1_epi8(static_cast<char>(8 * c)));
            __m512i lanes = _mm512_setzero_si512();
            for (int p = 0; 2 * p + 1 < kDepth; ++p)
                lanes = _mm512_or_si512(
                    lanes, _mm512_maskz_permutex2var_epi8(pairKeep[p], planes[2 * p], at, planes[2 * p + 1]));
            // An odd plane left over is moved alone.
            if constexpr (kDepth % 2 == 1)
                lanes = _mm512_or_si512(
                    lanes, _mm512_maskz_permutexvar_epi8(pairKeep[kDepth / 2], at, planes[kDepth - 1]));
            lanes = transformedLanes(lanes, transform, keep, run.identity);
            __m512i values = _mm512_gf2p8affine_epi64_epi8(units, lanes, 0);
            if constexpr (kMapped) values = permuteBytes(values, valueMap);
            out.put(values, x + 64 * c);
        }
    }
}

// Where chunks of 64 values go: a line of values,
struct ValuesOut {
    uint8_t* values;

    PL_AVX512_STEP void put(__m512i v, int x) const {
        _mm512_storeu_si512(reinterpret_cast<void*>(values + x), v);
    }
};

// Lines two screen pixels wide on two image rows (zoom 2) store their screen vectors on 64-byte
// boundaries: stores that cross cache lines, two image rows in turn, cost up to 1.4x the same
// stores on boundaries, more than the second permute per vector such stores need (one image
// row's phase is not the other's). For an image row whose first byte lies `phase` bytes past a
// boundary, byte i of vector j of a chunk is value (64 j - phase + i) / 6, counted from the chunk
// before (0..63) through this one (64..127); vectors 3..5 pick the values 32 on from 0..2.
constexpr int kWideBytes = 2 * kScreenPixelBytes;  // the screen bytes of a value two pixels wide

struct AlignedPicks {
    alignas(64) uint8_t pick[64][3][64];

    constexpr AlignedPicks() : pick() {
        for (int phase = 0; phase < 64; ++phase)
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 64; ++i)
                    pick[phase][j][i] =
                        static_cast<uint8_t>((64 * j - phase + i + 64 * kWideBytes) / kWideBytes);
    }
};

constexpr AlignedPicks kAlignedPicks;

// The two image rows of a line, with what each row's phase asks, held in registers across the
// line: each row's first byte, its phase, its picks, and (colour) the channel vectors rotated
// to its phase.
template <bool kGrey>
struct AlignedLine {
    uint8_t* start[2];
    int phase[2];
    __m512i pick[2][3];
    __m512i channel[2][kGrey ? 1 : 3];
};

template <bool kGrey>
PL_AVX512_STEP AlignedLine<kGrey> alignedLine(const ExpandVectors& x, uint8_t* first, ptrdiff_t zoomStep) {
    AlignedLine<kGrey> line;
    for (int z = 0; z < 2; ++z) {
        line.start[z] = first + z * zoomStep;
        const int phase = static_cast<int>(reinterpret_cast<uintptr_t>(line.start[z]) & 63);
        line.phase[z] = phase;
        for (int j = 0; j < 3; ++j) line.pick[z][j] = _mm512_load_si512(kAlignedPicks.pick[phase][j]);
        if constexpr (!kGrey)
            for (int j = 0; j < 3; ++j) line.channel[z][j] = x.channel[(j - phase % 3 + 3) % 3];
    }
    return line;
}

// The screen vector j of a chunk for row z, from the values of the chunk before and this one.
template <bool kGrey>
PL_AVX512_STEP __m512i alignedVector(const ExpandVectors& x, const AlignedLine<kGrey>& line, int z, int j,
                                     __m512i before, __m512i values) {
    const __m512i pick = j < 3 ? line.pick[z][j] : _mm512_add_epi8(line.pick[z][j - 3], _mm512_set1_epi8(32));
    // Only vector 0 reaches back into the chunk before (its picks below 64); the others pick from
    // this chunk alone, where vpermb, which reads the low six bits of each pick, leaves its
    // sources as they are.
    const __m512i screen =
        j == 0 ? _mm512_permutex2var_epi8(before, pick, values) : permuteBytes(pick, values);
    if constexpr (kGrey) return screen;
    return permuteBytes(_mm512_or_si512(screen, line.channel[z][j % 3]), x.colours);
}

// Row z's screen bytes [at, at + 64) (at on a boundary), only those within [0, end).
PL_AVX512_STEP void storeAlignedPart(uint8_t* start, int64_t at, int64_t end, __m512i screen) {
    const __mmask64 lanes = firstBytes(end - at) & ~firstBytes(-at);
    // The address is worked out as a number: a row's first vector may begin before the image.
    _mm512_mask_storeu_epi8(reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(start) + at), lanes,
                            screen);
}

// Which of a chunk's vectors lie wholly within their rows: all, all but the first (the row's
// first chunk), those before the row's end (a later chunk), or any of them.
enum class ChunkFit { Whole, AllButFirst, UpToEnd, Any };

// The chunk of 64 values at pixel px into both rows of the line, `bytes` screen bytes a row;
// `before` holds the chunk before (any values for the first).
template <ChunkFit kFit, bool kGrey>
PL_AVX512_STEP void putChunkAligned(const ExpandVectors& x, const AlignedLine<kGrey>& line, int64_t bytes,
                                    __m512i before, __m512i values, int px) {
    for (int z = 0; z < 2; ++z) {
        for (int j = 0; j < 6; ++j) {
            const int64_t at = int64_t{px} * kWideBytes + 64 * j - line.phase[z];
            const __m512i screen = alignedVector(x, line, z, j, before, values);
            if (kFit == ChunkFit::Whole || (kFit == ChunkFit::AllButFirst && j > 0))
                _mm512_store_si512(reinterpret_cast<void*>(line.start[z] + at), screen);
            else if (kFit == ChunkFit::UpToEnd && at + 64 <= bytes)
                _mm512_store_si512(reinterpret_cast<void*>(line.start[z] + at), screen);
            else if (kFit == ChunkFit::UpToEnd && at < bytes)
                _mm512_mask_storeu_epi8(line.start[z] + at, firstBytes(bytes - at), screen);
            else if (kFit != ChunkFit::UpToEnd)
                storeAlignedPart(line.start[z], at, bytes, screen);
        }
    }
}

// The bytes of the last chunk (at pixel px) that its vectors left: those before the next
// boundary, up to `bytes`.
template <bool kGrey>
PL_AVX512_STEP void finishAligned(const ExpandVectors& x, const AlignedLine<kGrey>& line, int64_t bytes,
                                  __m512i last, int px) {
    const int64_t next = (int64_t{px} + 64) * kWideBytes;
    const int64_t end = std::min(bytes, next);
    for (int z = 0; z < 2; ++z)
        if (next - line.phase[z] < end)
            storeAlignedPart(line.start[z], next - line.phase[z], end,
                             alignedVector(x, line, z, 0, last, last));
}

// or into one image row.
template <bool kGrey>
struct ImageRowOut {
    ExpandVectors x;
    uint8_t* row;
    int64_t bytes;

    PL_AVX512_STEP void put(__m512i values, int px) const { putChunk<kGrey>(x, row, bytes, values, px); }
};

template <int kDepth, bool kMapped>
PL_AVX512 void decodePlaneChunks(const BitGatherPlan& plan, const SourceRun& run, int pixels,
                                 uint8_t* values) {
    planeChunks<kDepth, kMapped>(plan, run, pixels, ValuesOut{values});
}

// The bytes a line of `pixels` plane pixels reads, in every plane, asked for ahead: only
// those, as the planes' rows between them are not read, and line by line, as a group's image
// rows push anything asked for much earlier out of the first-level cache.
template <int kDepth>
PL_AVX512_STEP void prefetchPlaneLine(const uint8_t* line, int64_t planeStride, int pixels) {
    for (int b = 0; b < kDepth; ++b) prefetchBytes(line + b * planeStride, (int64_t{pixels} + 7) / 8);
}

template <int kDepth, bool kMapped, bool kGrey>
PL_AVX512 void expandPlaneChunks(const BitGatherPlan& plan, const SourceRun& run, int pixels, uint8_t* row,
                                 int64_t bytes, const LineGroup& g) {
    const ExpandVectors x = expandVectors(*run.expander);
    const LineGroup group = g;  // a local: the stores into the image cannot change it
    const int64_t planeStride = plan.planeStride;
    for (int n = 0; n < group.lines; ++n) {
        if (group.ahead > 0 && n + group.ahead < group.lines + group.after)
            prefetchPlaneLine<kDepth>(groupLine(run, group, n + group.ahead).bytes, planeStride, pixels);
        planeChunks<kDepth, kMapped>(plan, groupLine(run, group, n), pixels,
                                     ImageRowOut<kGrey>{x, row + n * group.step, bytes});
    }
}

using PlaneExpander = void (*)(const BitGatherPlan&, const SourceRun&, int, uint8_t*, int64_t,
                               const LineGroup&);

template <bool kMapped, bool kGrey>
PlaneExpander planeExpanderFor(int depth) {
    return depth == 4   ? expandPlaneChunks<4, kMapped, kGrey>
           : depth == 5 ? expandPlaneChunks<5, kMapped, kGrey>
                        : nullptr;
}

// Plane modes straight into one image row, for pixels one screen pixel wide; nullptr for none.
PlaneExpander planeExpander(const BitGatherPlan& plan, const LineExpander& e) {
    if (!plan.usable || plan.planeStride == 0) return nullptr;
    const bool mapped = mapsValues(plan, e);
    if (e.grey)
        return mapped ? planeExpanderFor<true, true>(plan.depth) : planeExpanderFor<false, true>(plan.depth);
    return mapped ? planeExpanderFor<true, false>(plan.depth) : planeExpanderFor<false, false>(plan.depth);
}

// What decoding unit rows keeps in registers.
struct UnitRowKernel {
    Table256 transform;
    __m512i valueMap, matrix, reorder;
    __mmask64 keep;
    bool identity;
};

PL_AVX512_STEP UnitRowKernel unitRowKernel(const BitGatherPlan& plan, const SourceRun& run) {
    return {transformTable(run),
            loadBytes(run.expander->valueMap),
            loadBytes(plan.matrix),
            loadBytes(plan.reorder),
            plan.keep,
            run.identity};
}

// The values of unit row y of the chunk whose windows are w.
template <bool kPlanar, int kWindows, bool kMapped>
PL_AVX512_STEP __m512i unitRowValues(const UnitRowKernel& k, const RowArrangements& rowPlans,
                                     const __m512i* w, int y) {
    const __m512i at = _mm512_load_si512(rowPlans.arrange[y]);
    __m512i lanes;
    if constexpr (kWindows == 1) {
        lanes = _mm512_maskz_permutexvar_epi8(k.keep, at, w[0]);
    } else if constexpr (kWindows == 2) {
        lanes = _mm512_maskz_permutex2var_epi8(k.keep, w[0], at, w[1]);
    } else {
        const __mmask64 high = rowPlans.high[y];
        lanes = _mm512_or_si512(_mm512_maskz_permutex2var_epi8(k.keep & ~high, w[0], at, w[1]),
                                _mm512_maskz_permutex2var_epi8(k.keep & high, w[2], at, w[3]));
    }
    lanes = transformedLanes(lanes, k.transform, k.keep, k.identity);
    __m512i out;
    if constexpr (kPlanar) {
        out = _mm512_gf2p8affine_epi64_epi8(k.matrix, lanes, 0);
    } else {
        out = permuteBytes(k.reorder, _mm512_gf2p8affine_epi64_epi8(lanes, k.matrix, 0));
    }
    if constexpr (kMapped) out = permuteBytes(out, k.valueMap);
    return out;
}

// The windows of a chunk; one test for all of them away from the data's end.
template <int kWindows>
PL_AVX512_STEP void loadWindows(const SourceRun& run, int64_t offset, __m512i* w) {
    if (offset + 64 * kWindows <= run.size) {
        for (int i = 0; i < kWindows; ++i) w[i] = loadBytes(run.bytes + offset + 64 * i);
        return;
    }
    for (int i = 0; i < kWindows; ++i) w[i] = rawVector(run, offset + 64 * i);
}

template <bool kPlanar, int kWindows, bool kMapped>
PL_AVX512 void decodeUnitRows(const BitGatherPlan& plan, const RowArrangements& rowPlans, int rows,
                              const SourceRun& run, int pixels, uint8_t* values, size_t lineBytes) {
    const UnitRowKernel k = unitRowKernel(plan, run);
    int64_t offset = 0;
    for (int x = 0; x < pixels; x += 64, offset += plan.chunkBytes) {
        __m512i w[kWindows];
        loadWindows<kWindows>(run, offset, w);
        for (int y = 0; y < rows; ++y)
            _mm512_storeu_si512(reinterpret_cast<void*>(values + y * lineBytes + x),
                                unitRowValues<kPlanar, kWindows, kMapped>(k, rowPlans, w, y));
    }
}

// The values of the chunk `offset` bytes into a line of its own.
template <bool kPlanar, int kWindows, bool kMapped>
PL_AVX512_STEP __m512i lineValues(const UnitRowKernel& k, const RowArrangements& rowPlans,
                                  const SourceRun& run, int64_t offset) {
    __m512i w[kWindows];
    loadWindows<kWindows>(run, offset, w);
    return unitRowValues<kPlanar, kWindows, kMapped>(k, rowPlans, w, 0);
}

// A line of its own, two screen pixels a value on two image rows, on 64-byte boundaries; its
// data starts `offset` bytes into the run.
template <bool kPlanar, int kWindows, bool kMapped, bool kGrey>
PL_AVX512_STEP void expandAlignedLine(const UnitRowKernel& k, const ExpandVectors& x,
                                      const BitGatherPlan& plan, const RowArrangements& rowPlans,
                                      const SourceRun& run, int64_t offset, int pixels, int64_t bytes,
                                      uint8_t* first, ptrdiff_t zoomStep) {
    const AlignedLine<kGrey> line = alignedLine<kGrey>(x, first, zoomStep);
    const SourceRun source = run;                 // locals: the stores into the image cannot change them
    const int64_t step = plan.chunkBytes;         // data bytes of a chunk
    const int64_t chunkScreen = 64 * kWideBytes;  // and its screen bytes a row
    // The first chunk's vectors begin before the row; then come those that lie within it. Each
    // chunk's values are made while the one before is stored.
    __m512i before = _mm512_setzero_si512();
    __m512i values = lineValues<kPlanar, kWindows, kMapped>(k, rowPlans, source, offset);
    int px = 0;
    for (; px < pixels; px += 64) {
        offset += step;
        __m512i next =
            px + 64 < pixels ? lineValues<kPlanar, kWindows, kMapped>(k, rowPlans, source, offset) : values;
        if (px > 0)
            putChunkAligned<ChunkFit::UpToEnd>(x, line, bytes, before, values, px);
        else if (bytes >= chunkScreen)
            putChunkAligned<ChunkFit::AllButFirst>(x, line, bytes, before, values, px);
        else
            putChunkAligned<ChunkFit::Any>(x, line, bytes, before, values, px);
        before = values;
        values = next;
        for (; px + 64 < pixels && (px / 64 + 2) * chunkScreen <= bytes; px += 64) {
            offset += step;
            if (px + 128 < pixels) next = lineValues<kPlanar, kWindows, kMapped>(k, rowPlans, source, offset);
            putChunkAligned<ChunkFit::Whole>(x, line, bytes, before, values, px + 64);
            before = values;
            values = next;
        }
    }
    if (px > 0) finishAligned(x, line, bytes, before, px - 64);
}

// Unit rows straight into their image rows: each chunk's 64 values become the screen vectors
// of its pixels, kFactor screen pixels wide on kZoomRows image rows, `bytes` screen bytes a row.
template <bool kPlanar, int kWindows, bool kMapped, bool kGrey, bool kOneRow, int kFactor = 1,
          int kZoomRows = 1>
PL_AVX512 void expandUnitRows(const BitGatherPlan& plan, const RowArrangements& rowPlans, const RowsOut& to,
                              const SourceRun& run, int pixels, int64_t bytes) {
    static_assert(kZoomRows == 1 || (kOneRow && kFactor == 2), "two image rows: values two pixels wide");
    const RowsOut rows = to;  // a local: the stores into the image cannot change it
    const UnitRowKernel k = unitRowKernel(plan, run);
    const ExpandVectors x = expandVectors(*run.expander);
    for (int n = 0; n < rows.group.lines; ++n) {
        uint8_t* const first = rows.first + n * rows.group.step;
        int64_t offset = n * rows.group.source;
        if constexpr (kZoomRows == 2) {
            expandAlignedLine<kPlanar, kWindows, kMapped, kGrey>(k, x, plan, rowPlans, run, offset, pixels,
                                                                 bytes, first, rows.zoomStep);
            continue;
        }
        for (int px = 0; px < pixels; px += 64, offset += plan.chunkBytes) {
            __m512i w[kWindows];
            loadWindows<kWindows>(run, offset, w);
            for (int y = 0; y < (kOneRow ? 1 : rows.count); ++y)
                putChunk<kGrey, kFactor>(x, first + y * rows.step, bytes,
                                         unitRowValues<kPlanar, kWindows, kMapped>(k, rowPlans, w, y), px);
        }
    }
}

// A line of its own (the linear and byte-cell modes) has the loop over unit rows taken out, and
// its values may also be two screen pixels wide on one or two image rows; the rows of tiles are
// one screen pixel wide on one image row each.
template <bool kPlanar, bool kMapped, bool kGrey>
UnitRowExpander unitRowExpanderFor(int windows, int rows, int factor, int zoomRows) {
    if (windows == 1 && rows == 1) {
        if (factor == 1 && zoomRows == 1) return expandUnitRows<kPlanar, 1, kMapped, kGrey, true>;
        if (factor == 2 && zoomRows == 1) return expandUnitRows<kPlanar, 1, kMapped, kGrey, true, 2, 1>;
        if (factor == 2 && zoomRows == 2) return expandUnitRows<kPlanar, 1, kMapped, kGrey, true, 2, 2>;
        return nullptr;
    }
    if (factor != 1 || zoomRows != 1) return nullptr;
    return windows == 1   ? expandUnitRows<kPlanar, 1, kMapped, kGrey, false>
           : windows == 2 ? expandUnitRows<kPlanar, 2, kMapped, kGrey, false>
                          : expandUnitRows<kPlanar, 4, kMapped, kGrey, false>;
}

template <bool kPlanar, bool kMapped>
UnitRowsDecoder unitRowsDecoderFor(int windows) {
    return windows == 1   ? decodeUnitRows<kPlanar, 1, kMapped>
           : windows == 2 ? decodeUnitRows<kPlanar, 2, kMapped>
                          : decodeUnitRows<kPlanar, 4, kMapped>;
}

// The windows a chunk loads for `rows` unit rows `step` bytes apart; 0 past four.
int rowWindows(const BitGatherPlan& plan, int64_t step, int rows) {
    const int64_t reach = plan.reach + (rows - 1) * step;
    return reach <= 64 ? 1 : reach <= 128 ? 2 : reach <= 256 ? 4 : 0;
}

// The decoder of `rows` unit rows `step` bytes apart and their arrangements; nullptr when a
// shifted row reads past the windows a chunk may load.
UnitRowsDecoder unitRowsDecoder(const BitGatherPlan& plan, const LineExpander& e, int64_t step, int rows,
                                RowArrangements& rowPlans) {
    if (!plan.usable || plan.planeStride != 0 || rows < 1 || rows > kSharedUnitRows || step < 0)
        return nullptr;
    const int windows = rowWindows(plan, step, rows);
    if (windows == 0) return nullptr;
    for (int y = 0; y < rows; ++y) {
        rowPlans.high[y] = 0;
        for (int k = 0; k < 64; ++k) {
            const bool kept = (plan.keep >> k) & 1;
            const int64_t full = plan.arrange[k] + (((plan.arrangeHigh >> k) & 1) ? 128 : 0) + y * step;
            rowPlans.arrange[y][k] = kept ? static_cast<uint8_t>(full & 127) : 0;
            if (kept && full >= 128) rowPlans.high[y] |= uint64_t{1} << k;
        }
    }
    const bool mapped = mapsValues(plan, e);
    if (plan.planar)
        return mapped ? unitRowsDecoderFor<true, true>(windows) : unitRowsDecoderFor<true, false>(windows);
    return mapped ? unitRowsDecoderFor<false, true>(windows) : unitRowsDecoderFor<false, false>(windows);
}

// The same rows decoded straight into the image; nullptr where no such kernel is made.
template <bool kGrey>
UnitRowExpander unitRowExpander(const BitGatherPlan& plan, const LineExpander& e, int64_t step, int rows,
                                int zoomRows) {
    const int windows = rowWindows(plan, step, rows);
    const bool mapped = mapsValues(plan, e);
    const int f = e.factor;
    if (plan.planar)
        return mapped ? unitRowExpanderFor<true, true, kGrey>(windows, rows, f, zoomRows)
                      : unitRowExpanderFor<true, false, kGrey>(windows, rows, f, zoomRows);
    return mapped ? unitRowExpanderFor<false, true, kGrey>(windows, rows, f, zoomRows)
                  : unitRowExpanderFor<false, false, kGrey>(windows, rows, f, zoomRows);
}

using ChunkDecoder = void (*)(const BitGatherPlan&, const SourceRun&, int, uint8_t*);

template <bool kMapped>
ChunkDecoder planeDecoderFor(int depth) {
    switch (depth) {
        case 4:
            return decodePlaneChunks<4, kMapped>;
        case 5:
            return decodePlaneChunks<5, kMapped>;
        default:
            return nullptr;
    }
}

template <bool kPlanar, bool kMapped>
ChunkDecoder chunkDecoderFor(int windows) {
    switch (windows) {
        case 1:
            return decodeChunks<kPlanar, 1, kMapped>;
        case 2:
            return decodeChunks<kPlanar, 2, kMapped>;
        default:
            return decodeChunks<kPlanar, 4, kMapped>;
    }
}

// The decoder of a usable plan, or nullptr.
ChunkDecoder chunkDecoder(const BitGatherPlan& plan, const LineExpander& e) {
    const int windows = plan.planeStride != 0 ? 0 : plan.windowVectors;
    const bool mapped = mapsValues(plan, e);
    if (windows == 0) return mapped ? planeDecoderFor<true>(plan.depth) : planeDecoderFor<false>(plan.depth);
    if (plan.planar)
        return mapped ? chunkDecoderFor<true, true>(windows) : chunkDecoderFor<true, false>(windows);
    return mapped ? chunkDecoderFor<false, true>(windows) : chunkDecoderFor<false, false>(windows);
}

PL_AVX512 bool gatherAvx512(const BitGatherPlan& plan, const SourceRun& run, int pixels, uint8_t* values) {
    const ChunkDecoder decode = chunkDecoder(plan, *run.expander);
    if (decode == nullptr) return false;
    decode(plan, run, pixels, values);
    return true;
}

// The matrix whose row 7 - i takes bit from[i] (for i of 0..3).
constexpr uint64_t pickBits(int b0, int b1, int b2, int b3) {
    return uint64_t{1u << b0} << 56 | uint64_t{1u << b1} << 48 | uint64_t{1u << b2} << 40 |
           uint64_t{1u << b3} << 32;
}

// The index vectors of the attribute kernel: chunk c puts byte 8c + g under the 8 pixels of
// lane g, and pixel i of a lane takes bit 7 - i of it.
struct AttributeIndices {
    alignas(64) uint8_t spread[4][64];
    alignas(64) uint8_t bitOfPixel[64];

    constexpr AttributeIndices() : spread(), bitOfPixel() {
        for (int c = 0; c < 4; ++c)
            for (int i = 0; i < 64; ++i) spread[c][i] = static_cast<uint8_t>(8 * c + i / 8);
        for (int i = 0; i < 64; ++i) bitOfPixel[i] = static_cast<uint8_t>(8 * (i % 8) + 7 - i % 8);
    }
};

constexpr AttributeIndices kAttributeIndices;

template <typename Out>
PL_AVX512_STEP void attributeChunks(const SourceRun& run, const AttributeRow& row, const Out& out) {
    const Table256 transform = transformTable(run);
    const auto& spread = kAttributeIndices.spread;
    const __m512i bits = _mm512_load_si512(kAttributeIndices.bitOfPixel);
    const __m512i ink = _mm512_set1_epi64(static_cast<int64_t>(pickBits(0, 1, 2, 6)));
    const __m512i paper = _mm512_set1_epi64(static_cast<int64_t>(pickBits(3, 4, 5, 6)));
    for (int u = 0; u < row.units; ++u) {
        const int64_t at = u * row.unitBytes;
        const __m512i bitmap = sourceVector(run, transform, at + row.bitmapRow);
        const __m512i attributes = sourceVector(run, transform, at + row.attributeRow);
        const int pixels = u + 1 < row.units ? row.unitPixels : row.lastPixels;
        for (int x = 0, c = 0; x < pixels; x += 64, ++c) {
            const __m512i spreadC = _mm512_load_si512(spread[c]);
            const __mmask64 set = _mm512_bitshuffle_epi64_mask(permuteBytes(spreadC, bitmap), bits);
            const __m512i a = permuteBytes(spreadC, attributes);
            out.put(_mm512_mask_blend_epi8(set, _mm512_gf2p8affine_epi64_epi8(a, paper, 0),
                                           _mm512_gf2p8affine_epi64_epi8(a, ink, 0)),
                    u * row.unitPixels + x);
        }
    }
}

PL_AVX512 bool attributeAvx512(const SourceRun& run, const AttributeRow& row, uint8_t* values) {
    attributeChunks(run, row, ValuesOut{values});
    return true;
}

// The same straight into the image, for pixels one screen pixel wide: `count` unit rows of the
// screens from `row` on, each with its offsets, into image rows `step` bytes apart.
template <bool kGrey>
PL_AVX512 void attributesToImage(const SourceRun& run, const AttributeRow& row,
                                 const AttributeRowOffsets* offsets, int count, uint8_t* out, ptrdiff_t step,
                                 int64_t bytes) {
    const ExpandVectors x = expandVectors(*run.expander);
    AttributeRow line = row;
    for (int i = 0; i < count; ++i) {
        line.bitmapRow = offsets[i].bitmap;
        line.attributeRow = offsets[i].attributes;
        attributeChunks(run, line, ImageRowOut<kGrey>{x, out + i * step, bytes});
    }
}

PL_AVX512 void copyChunks(const BitGatherPlan&, const SourceRun& run, int pixels, uint8_t* values) {
    const Table256 transform = transformTable(run);
    for (int x = 0; x < pixels; x += 64)
        _mm512_storeu_si512(reinterpret_cast<void*>(values + x), sourceVector(run, transform, x));
}

// The bytes of a strip of the line that starts at lineStart.
SourceRun stripRun(const LineBatch& b, const LineExpander& e, int64_t lineStart, const LineStrip& strip) {
    const int64_t at = lineStart + strip.offset;
    return {b.data + at, b.dataSize - at, b.transform, b.identity, &e};
}

// Calls visit(run, pixels, from, bytes) for the runs of a line starting at lineStart: each
// one's source and its screen bytes [from, from + bytes) of a row, those of the runs only.
template <typename Visit>
void forEachScreenRun(const LineExpander& e, const LineBatch& b, int64_t lineStart, Visit visit) {
    const int64_t pixelBytes = int64_t{kScreenPixelBytes} * e.factor;
    for (const LineStrip& strip : std::span(b.strips, b.stripCount)) {
        const int64_t from = strip.pixel * pixelBytes;
        const int64_t bytes = std::min<int64_t>(strip.pixels * pixelBytes, int64_t(b.runBytes) - from);
        if (bytes > 0) visit(stripRun(b, e, lineStart, strip), strip.pixels, from, bytes);
    }
}

// Runs whose bytes are their values are expanded straight from the data.
void expandRunsOfData(const LineExpander& e, const LineBatch& b, GroupExpander expand, const LineRows& rows,
                      int64_t lineStart, const LineGroup& group) {
    forEachScreenRun(e, b, lineStart, [&](const SourceRun& run, int, int64_t from, int64_t bytes) {
        expand(e, run.bytes, rows, rows.first + from, size_t(bytes), group);
    });
}

// A strip's screens for unit row `offsets`.
AttributeRow attributeRow(const LineBatch& b, const AttributeRowOffsets& offsets, int pixels) {
    const int units = (pixels + b.unitPixels - 1) / b.unitPixels;
    return {offsets.bitmap, offsets.attributes, b.unitBytes,
            units,          b.unitPixels,       pixels - (units - 1) * b.unitPixels};
}

// The strips of a line of attribute screens, each from whole screens.
void decodeAttributeRuns(const LineBatch& b, const AttributeRowOffsets& offsets, int64_t lineStart,
                         const LineExpander& e, uint8_t* values) {
    for (const LineStrip& strip : std::span(b.strips, b.stripCount))
        attributeAvx512(stripRun(b, e, lineStart, strip), attributeRow(b, offsets, strip.pixels),
                        values + strip.pixel);
}

// Whether no vector of screen bytes holds the pixels of two runs: every run but the last is
// whole chunks of 64 pixels.
bool runsInWholeChunks(const LineBatch& b) {
    for (int s = 0; s + 1 < b.stripCount; ++s)
        if (b.strips[s].pixels % 64 != 0) return false;
    return true;
}

// The runs of a view row's unit rows, straight into their image rows.
void expandUnitRowRuns(const BitGatherPlan& plan, const LineExpander& e, const LineBatch& b,
                       UnitRowExpander expand, const RowArrangements& rowPlans, int64_t rowStart,
                       const RowsOut& rows) {
    forEachScreenRun(e, b, rowStart, [&](const SourceRun& run, int pixels, int64_t from, int64_t bytes) {
        RowsOut to = rows;
        to.first += from;
        expand(plan, rowPlans, to, run, pixels, bytes);
    });
}

// The runs of a line of plane pixels one screen pixel wide, straight into its image row.
void expandPlaneRuns(const BitGatherPlan& plan, const LineExpander& e, const LineBatch& b,
                     PlaneExpander expand, int64_t lineStart, uint8_t* row, const LineGroup& group) {
    forEachScreenRun(e, b, lineStart, [&](const SourceRun& run, int pixels, int64_t from, int64_t bytes) {
        expand(plan, run, pixels, row + from, bytes, group);
    });
}

// The unit rows of a view row at once, into lines of values lineBytes apart.
void decodeUnitRowRuns(const BitGatherPlan& plan, const LineExpander& e, const LineBatch& b,
                       UnitRowsDecoder decode, const RowArrangements& rowPlans, int64_t rowStart,
                       uint8_t* values, size_t lineBytes) {
    for (const LineStrip& strip : std::span(b.strips, b.stripCount))
        decode(plan, rowPlans, b.unitRows, stripRun(b, e, rowStart, strip), strip.pixels,
               values + strip.pixel, lineBytes);
}

// Lines of one unit row each that go straight into the image are drawn a group at a time: one
// call per strip and group instead of per line keeps the kernel's vectors loaded across the
// group's lines. drawGroup(lineStart, image row, group) draws the group's runs from the line
// that starts at lineStart and fills that image row, the group's steps leading to the others.
constexpr int kLineGroup = 32;

template <typename DrawGroup>
void drawLineGroups(const LineBatch& b, DrawGroup drawGroup) {
    // The image's rows lie bottom up: the lines are drawn from the last up, so that the stores
    // run up through memory, as the processor streams them fastest.
    for (int end = b.lines; end > 0; end -= kLineGroup) {
        const int count = std::min(kLineGroup, end);
        const int last = end - 1;
        const int64_t lineStart = b.first + last * b.rowStep;
        for (int i = 0; i < count; ++i) prefetchLine(b, lineStart - (b.linesAhead + i) * b.rowStep);
        uint8_t* const first = b.rows.first + last * b.lineStep;
        drawGroup(lineStart, first, LineGroup{count, -b.rowStep, -b.lineStep, end - count, b.linesAhead});
        for (int i = 0; i < count; ++i) fillPastRuns(b, last - i, first - i * b.lineStep);
    }
}

// Attribute screens one screen pixel wide on one image row: up to a group of unit rows of a view
// row at a time, straight into the image.
void drawAttributeLines(const LineExpander& e, const LineBatch& b) {
    int64_t rowStart = b.first;
    for (int n = 0, unitRow = 0; n < b.lines;) {
        if (unitRow == 0) prefetchLine(b, rowStart + b.rowStep);
        const int count = std::min({kLineGroup, b.lines - n, b.unitRows - unitRow});
        uint8_t* const first = b.rows.first + n * b.lineStep;
        forEachScreenRun(e, b, rowStart, [&](const SourceRun& run, int pixels, int64_t from, int64_t bytes) {
            const AttributeRow row = attributeRow(b, b.attributeRows[unitRow], pixels);
            const AttributeRowOffsets* offsets = b.attributeRows + unitRow;
            if (e.grey)
                return attributesToImage<true>(run, row, offsets, count, first + from, b.lineStep, bytes);
            attributesToImage<false>(run, row, offsets, count, first + from, b.lineStep, bytes);
        });
        for (int i = 0; i < count; ++i) fillPastRuns(b, n + i, first + i * b.lineStep);
        n += count;
        unitRow += count;
        if (unitRow == b.unitRows) unitRow = 0, rowStart += b.rowStep;
    }
}

void drawBatchAvx512(const BitGatherPlan& plan, const LineExpander& e, const LineBatch& b,
                     ChunkDecoder decode, const ValueLines& lines) {
    const GroupExpander expand = groupExpander(e, b.rows.rows);
    const bool bytesAreValues = b.copy && b.identity;
    RowArrangements rowPlans;
    const UnitRowsDecoder decodeRows =
        b.copy || b.attributeRows != nullptr || b.unitRows > lines.count ? nullptr
        : plan.tileLanes ? tileLaneDecoder(plan, e, b.unitRowStep, b.unitRows, rowPlans)
                         : unitRowsDecoder(plan, e, b.unitRowStep, b.unitRows, rowPlans);
    uint8_t* values = lines.first;
    // Where the runs are whole chunks but the last, each chunk's values go straight to the image
    // if a kernel is made for the values' width and rows: attributes and planes one screen pixel
    // wide on one image row, the others as unitRowExpander says.
    const bool wholeChunks = runsInWholeChunks(b);
    const bool onePixelOneRow = wholeChunks && b.rows.rows == 1 && e.factor == 1;
    const PlaneExpander directPlanes = onePixelOneRow && b.unitRows == 1 ? planeExpander(plan, e) : nullptr;
    UnitRowExpander direct = nullptr;
    if (decodeRows != nullptr && wholeChunks && plan.tileLanes)
        direct = tileLaneExpander(plan, e, rowPlans, b.rows.rows);
    else if (decodeRows != nullptr && wholeChunks)
        direct = e.grey ? unitRowExpander<true>(plan, e, b.unitRowStep, b.unitRows, b.rows.rows)
                        : unitRowExpander<false>(plan, e, b.unitRowStep, b.unitRows, b.rows.rows);
    if (b.attributeRows != nullptr && onePixelOneRow) return drawAttributeLines(e, b);
    if (b.unitRows == 1 && (direct != nullptr || directPlanes != nullptr || bytesAreValues)) {
        return drawLineGroups(b, [&](int64_t lineStart, uint8_t* first, const LineGroup& group) {
            if (directPlanes != nullptr)
                return expandPlaneRuns(plan, e, b, directPlanes, lineStart, first, group);
            if (direct != nullptr)
                return expandUnitRowRuns(plan, e, b, direct, rowPlans, lineStart,
                                         {first, b.lineStep, 1, b.rows.step, group});
            expandRunsOfData(e, b, expand, {first, b.rows.step, b.rows.rows}, lineStart, group);
        });
    }
    LineRows rows = b.rows;
    int64_t rowStart = b.first;
    int unitRow = 0;
    for (int n = 0; n < b.lines; ++n) {
        rows.first = b.rows.first + n * b.lineStep;
        const int64_t lineStart = rowStart + unitRow * b.unitRowStep;
        if (b.unitRows == 1) {
            prefetchLine(b, lineStart + b.linesAhead * b.rowStep);
        } else if (unitRow == 0) {
            prefetchLine(b, rowStart + b.rowStep);
        }
        if (direct != nullptr) {
            if (unitRow == 0)
                expandUnitRowRuns(plan, e, b, direct, rowPlans, rowStart,
                                  {rows.first, b.lineStep, std::min(b.unitRows, b.lines - n), rows.step});
        } else if (decodeRows != nullptr) {
            if (unitRow == 0)
                decodeUnitRowRuns(plan, e, b, decodeRows, rowPlans, rowStart, values, lines.lineBytes);
            expand(e, values + unitRow * lines.lineBytes, rows, rows.first, b.runBytes, {});
        } else if (b.attributeRows != nullptr) {
            decodeAttributeRuns(b, b.attributeRows[unitRow], lineStart, e, values);
            expand(e, values, rows, rows.first, b.runBytes, {});
        } else {
            for (const LineStrip& strip : std::span(b.strips, b.stripCount))
                decode(plan, stripRun(b, e, lineStart, strip), strip.pixels, values + strip.pixel);
            expand(e, values, rows, rows.first, b.runBytes, {});
        }
        fillPastRuns(b, n, rows.first);
        if (++unitRow == b.unitRows) unitRow = 0, rowStart += b.rowStep;
    }
}

// ---- Direct colour words: three screen bytes a word.

// Whole-byte channels: 16 pixels a step, their words' bytes put in screen order.
// Vector k of the screen bytes of the 64 pixels whose words start at `from`, by the plan's pick and
// keep of vector k.
template <int kBytes>
PL_AVX512 inline __m512i roundVector(const uint8_t* from, int k, __m512i pick, __mmask64 keep) {
    return _mm512_maskz_permutex2var_epi8(keep, _mm512_loadu_si512(from + kBytes * roundFirstPixel(k)), pick,
                                          _mm512_loadu_si512(from + kBytes * roundEndPixel(k) - 64));
}

// Words of 3 or 4 bytes: 64 pixels a round, each of its three vectors of screen bytes from two loads.
// Returns the pixels done.
template <int kBytes>
PL_AVX512 int64_t shuffleWordRounds(const DirectColourWords& plan, const uint8_t* words, int64_t pixels,
                                    uint8_t* out) {
    // In locals: the stores through `out` could otherwise change the plan, for all the compiler knows.
    const __m512i pick0 = loadBytes(plan.roundPick[0]), pick1 = loadBytes(plan.roundPick[1]),
                  pick2 = loadBytes(plan.roundPick[2]);
    const __mmask64 keep0 = plan.roundKeep[0], keep1 = plan.roundKeep[1], keep2 = plan.roundKeep[2];
    int64_t x = 0;
    for (; x + 64 <= pixels; x += 64) {
        const uint8_t* from = words + kBytes * x;
        _mm512_storeu_si512(out + 3 * x, roundVector<kBytes>(from, 0, pick0, keep0));
        _mm512_storeu_si512(out + 3 * x + 64, roundVector<kBytes>(from, 1, pick1, keep1));
        _mm512_storeu_si512(out + 3 * x + 128, roundVector<kBytes>(from, 2, pick2, keep2));
    }
    return x;
}

PL_AVX512 void shuffleWordBytes(const DirectColourWords& plan, const DirectColourRows& rows) {
    const __m512i pick = loadBytes(plan.pick);
    const __mmask64 keep = plan.keep;
    const int64_t wordBytes = plan.bytes, pixels = rows.pixels;
    for (int r = 0; r < rows.rows; ++r) {
        const uint8_t* words = rows.words + r * rows.wordStep;
        uint8_t* out = rows.out + r * rows.outStep;
        const int64_t done = wordBytes == 4   ? shuffleWordRounds<4>(plan, words, pixels, out)
                             : wordBytes == 3 ? shuffleWordRounds<3>(plan, words, pixels, out)
                                              : 0;
        for (int64_t x = done; x < pixels; x += 16) {
            const int64_t n = std::min<int64_t>(16, pixels - x);
            const __m512i v = _mm512_maskz_loadu_epi8(firstBytes(n * wordBytes), words + x * wordBytes);
            _mm512_mask_storeu_epi8(out + 3 * x, firstBytes(3 * n),
                                    _mm512_maskz_permutexvar_epi8(keep, pick, v));
        }
    }
}

// Words of 2 bytes whose channels have at most 6 bits: 64 pixels a round, each of its three vectors
// of screen bytes from one load. The words of each 8 screen bytes' pixels put in their 8 bytes, each
// screen byte's channel shifted down into it at once, then looked up in its channel's 64 levels.
struct NarrowWordVectors {
    __m512i arrange[3], bits[3];
    __m512i levels[3];  // blue, green, red
};

// The screen bytes (blue, green, red, ...) of vector k: green at 1, 4, 7, ... of the 192, red at 2, 5, ...
constexpr uint64_t channelLanes(int k, int c) {
    uint64_t lanes = 0;
    for (int i = 0; i < 64; ++i) lanes |= uint64_t{(64 * k + i) % kScreenPixelBytes == c} << i;
    return lanes;
}

template <int kVector>
PL_AVX512_STEP __m512i narrowWordVector(const NarrowWordVectors& n, __m512i words) {
    // (The all-lanes mask keeps GCC 12's header from reading an unset vector.)
    const __m512i at = _mm512_maskz_multishift_epi64_epi8(~__mmask64{0}, n.bits[kVector],
                                                          permuteBytes(n.arrange[kVector], words));
    const __m512i blue = permuteBytes(at, n.levels[0]);
    const __m512i blueGreen = _mm512_mask_permutexvar_epi8(blue, channelLanes(kVector, 1), at, n.levels[1]);
    return _mm512_mask_permutexvar_epi8(blueGreen, channelLanes(kVector, 2), at, n.levels[2]);
}

// The words of vector k of a row's last `left` pixels (fewer than 64), 0 past them.
template <int kVector>
PL_AVX512_STEP __m512i lastWords(const uint8_t* words, int64_t left) {
    return _mm512_maskz_loadu_epi8(firstBytes(2 * (left - wordRoundLoad(kVector))),
                                   words + 2 * wordRoundLoad(kVector));
}

PL_AVX512 void lookUpWordChannels(const DirectColourWords& plan, const DirectColourRows& rows) {
    NarrowWordVectors n;
    for (int k = 0; k < 3; ++k) {
        n.arrange[k] = loadBytes(plan.roundPick[k]);
        n.bits[k] = loadBytes(plan.roundBits[k]);
        n.levels[k] = loadBytes(plan.levels[k]);
    }
    const int64_t pixels = rows.pixels;
    for (int row = 0; row < rows.rows; ++row) {
        const uint8_t* words = rows.words + row * rows.wordStep;
        uint8_t* out = rows.out + row * rows.outStep;
        int64_t x = 0;
        for (; x + 64 <= pixels; x += 64, words += 128, out += 192) {
            _mm512_storeu_si512(out, narrowWordVector<0>(n, loadBytes(words + 2 * wordRoundLoad(0))));
            _mm512_storeu_si512(out + 64, narrowWordVector<1>(n, loadBytes(words + 2 * wordRoundLoad(1))));
            _mm512_storeu_si512(out + 128, narrowWordVector<2>(n, loadBytes(words + 2 * wordRoundLoad(2))));
        }
        const int64_t left = pixels - x;
        if (left == 0) continue;
        _mm512_mask_storeu_epi8(out, firstBytes(3 * left), narrowWordVector<0>(n, lastWords<0>(words, left)));
        if (3 * left > 64)
            _mm512_mask_storeu_epi8(out + 64, firstBytes(3 * left - 64),
                                    narrowWordVector<1>(n, lastWords<1>(words, left)));
        if (3 * left > 128)
            _mm512_mask_storeu_epi8(out + 128, firstBytes(3 * left - 128),
                                    narrowWordVector<2>(n, lastWords<2>(words, left)));
    }
}

bool directColoursAvx512(const DirectColourWords& plan, const DirectColourRows& rows) {
    if (plan.wholeBytes) {
        shuffleWordBytes(plan, rows);
        return true;
    }
    if (!plan.narrowWords) return false;
    lookUpWordChannels(plan, rows);
    return true;
}

bool machineRunsAvx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bitalg") &&
           __builtin_cpu_supports("gfni") && __builtin_cpu_supports("bmi2");
}

void expandLineAvx512(const LineExpander& expander, const uint8_t* values, const LineRows& rows, size_t at,
                      size_t bytes) {
    if (bytes == 0 || rows.rows <= 0) return;
    groupExpander(expander, rows.rows)(expander, values, rows, rows.first + at, bytes, {});
}

bool gatherPixelsAvx512(const BitGatherPlan& plan, const SourceRun& run, int pixels, uint8_t* values) {
    // Past the data every byte reads 0, which the byte transforms must leave as it is.
    if (!run.identity && planReach(plan, pixels) > run.size) return false;
    return plan.usable && gatherAvx512(plan, run, pixels, values);
}

bool attributePixelsAvx512(const SourceRun& run, const AttributeRow& row, uint8_t* values) {
    return row.unitPixels <= 256 && attributeAvx512(run, row, values);
}

bool copyPixelsAvx512(const SourceRun& run, int pixels, uint8_t* values) {
    copyChunks(BitGatherPlan{}, run, pixels, values);
    return true;
}

bool drawLineBatchAvx512(const BitGatherPlan& plan, const LineExpander& expander, const LineBatch& batch,
                         const ValueLines& values) {
    if (batch.rows.rows < 1) return false;
    const ChunkDecoder decode = batch.copy    ? copyChunks
                                : plan.usable ? chunkDecoder(plan, expander)
                                              : nullptr;
    RowArrangements tileRows;
    const bool tileLanes =
        plan.tileLanes && batch.unitRows <= values.count &&
        tileLaneDecoder(plan, expander, batch.unitRowStep, batch.unitRows, tileRows) != nullptr;
    if (decode == nullptr && !tileLanes && (batch.attributeRows == nullptr || batch.unitPixels > 256))
        return false;
    drawBatchAvx512(plan, expander, batch, decode, values);
    return true;
}

}  // namespace

bool overrideWithAvx512(PixelKernels& kernels) {
    if (!machineRunsAvx512()) return false;
    kernels.expandLine = expandLineAvx512;
    kernels.gatherPixels = gatherPixelsAvx512;
    kernels.attributePixels = attributePixelsAvx512;
    kernels.copyPixels = copyPixelsAvx512;
    kernels.drawLineBatch = drawLineBatchAvx512;
    kernels.directColours = directColoursAvx512;
    kernels.tileLanes = true;
    return true;
}

#else

bool overrideWithAvx512(PixelKernels&) {
    return false;
}

#endif

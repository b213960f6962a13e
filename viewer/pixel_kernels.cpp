#include "viewer/pixel_kernels.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

bool machineRunsAvx512() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
           __builtin_cpu_supports("avx512bitalg");
#else
    return false;
#endif
}

PixelKernel fastestKernel() {
    return machineRunsAvx512() ? PixelKernel::Avx512 : PixelKernel::Plain;
}

PixelKernel chosenKernel = fastestKernel();

// ---- The plain versions.

// The screen bytes of a value, `kBytes` long, stored in a padded slot so that one store of
// the padded size writes them; the next pixel overwrites the excess.
constexpr int paddedBytes(int bytes) {
    return bytes == 3 ? 4 : bytes == 6 ? 8 : bytes == 12 ? 16 : bytes;
}

template <int kBytes>
void writeCells(const LineExpander& expander, const uint8_t* values, uint8_t* out, size_t bytes) {
    const size_t whole = bytes / kBytes;
    size_t i = 0;
    for (; i + 1 < whole; ++i) std::memcpy(out + i * kBytes, expander.cells[values[i]], paddedBytes(kBytes));
    for (; i < whole; ++i) std::memcpy(out + i * kBytes, expander.cells[values[i]], kBytes);
    if (whole * kBytes < bytes)
        std::memcpy(out + whole * kBytes, expander.cells[values[whole]], bytes % kBytes);
}

void expandPlain(const LineExpander& expander, const uint8_t* values, const LineRows& rows, size_t at,
                 size_t bytes) {
    uint8_t* out = rows.first + at;
    switch (expander.factor) {
        case 1:
            writeCells<3>(expander, values, out, bytes);
            break;
        case 2:
            writeCells<6>(expander, values, out, bytes);
            break;
        case 4:
            writeCells<12>(expander, values, out, bytes);
            break;
        case 8:
            writeCells<24>(expander, values, out, bytes);
            break;
        default:
            writeCells<48>(expander, values, out, bytes);
            break;
    }
    for (int r = 1; r < rows.rows; ++r) std::memcpy(rows.first + r * rows.step + at, out, bytes);
}

#if defined(__x86_64__)

#define PL_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512bitalg,bmi2")))
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

PL_AVX512_STEP __m512i lookup256(const Table256& t, __m512i v) {
    const __m512i low = _mm512_permutex2var_epi8(t.part[0], v, t.part[1]);
    const __m512i high = _mm512_permutex2var_epi8(t.part[2], v, t.part[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
}

PL_AVX512_STEP void storeToRows(const LineRows rows, uint8_t* at, __m512i v, __mmask64 lanes) {
    for (int r = 0; r < rows.rows; ++r, at += rows.step) _mm512_mask_storeu_epi8(at, lanes, v);
}

// Rows is at least 1.
PL_AVX512_STEP void storeToRows(const LineRows rows, uint8_t* at, __m512i v) {
    _mm512_storeu_si512(reinterpret_cast<void*>(at), v);
    for (int r = 1; r < rows.rows; ++r) _mm512_storeu_si512(reinterpret_cast<void*>(at + r * rows.step), v);
}

// The vectors of one expander, loaded once per line.
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

// A group of 64 / factor pixels gives three vectors.
template <bool kGrey>
PL_AVX512 void expandGroups(const LineExpander& e, const uint8_t* values, const LineRows rows, uint8_t* out,
                            size_t bytes) {
    const ExpandVectors x = expandVectors(e);
    const int groupPixels = e.groupPixels;
    size_t done = 0;
    for (; done + 192 <= bytes; done += 192, values += groupPixels) {
        const __m512i group = loadBytes(values);
        storeToRows(rows, out + done, groupVector<kGrey>(x, group, 0));
        storeToRows(rows, out + done + 64, groupVector<kGrey>(x, group, 1));
        storeToRows(rows, out + done + 128, groupVector<kGrey>(x, group, 2));
    }
    if (done == bytes) return;
    const __m512i group = loadBytes(values);
    for (int k = 0; k < 3 && done + 64 * k < bytes; ++k)
        storeToRows(rows, out + done + 64 * k, groupVector<kGrey>(x, group, k),
                    firstBytes(int64_t(bytes - done) - 64 * k));
}

PL_AVX512 void expandAvx512(const LineExpander& e, const uint8_t* values, const LineRows& rows, size_t at,
                            size_t bytes) {
    if (e.grey) return expandGroups<true>(e, values, rows, rows.first + at, bytes);
    expandGroups<false>(e, values, rows, rows.first + at, bytes);
}

// One window of the source, zeros past its readable end, through the byte transform.
PL_AVX512_STEP __m512i sourceVector(const SourceRun& run, const Table256& transform, int64_t offset) {
    __m512i v;
    if (offset + 64 <= run.size) {
        v = loadBytes(run.bytes + offset);
    } else if (offset < run.size) {
        v = _mm512_maskz_loadu_epi8(firstBytes(run.size - offset), run.bytes + offset);
    } else {
        return _mm512_setzero_si512();
    }
    return run.identity ? v : lookup256(transform, v);
}

// What the gathering loop reads of the plan and the run, held as locals: the loop's stores
// could otherwise change them as far as the compiler knows.
struct GatherWindow {
    const uint8_t* bytes;
    int64_t size;
    int windowVectors;
    __mmask64 compactHigh;
    __m512i compact;
    bool identity;
};

// The gathered bytes of a chunk whose window starts `offset` bytes into the run.
PL_AVX512_STEP __m512i gatheredBytes(const GatherWindow w, const Table256& transform, int64_t offset) {
    const SourceRun run{w.bytes, w.size, nullptr, w.identity, nullptr};
    const __m512i w0 = sourceVector(run, transform, offset);
    if (w.windowVectors == 1) return w0;
    const __m512i w1 = sourceVector(run, transform, offset + 64);
    const __m512i low = _mm512_permutex2var_epi8(w0, w.compact, w1);
    if (w.windowVectors == 2) return low;
    const __m512i w2 = sourceVector(run, transform, offset + 128);
    const __m512i w3 = sourceVector(run, transform, offset + 192);
    return _mm512_mask_blend_epi8(w.compactHigh, low, _mm512_permutex2var_epi8(w2, w.compact, w3));
}

// Value bit b of every pixel: the gathered byte moved under the pixel, its bit picked.
template <int kDepth>
PL_AVX512 void gatherChunks(const BitGatherPlan& plan, const SourceRun& run, int pixels, uint8_t* values) {
    const Table256 transform = loadTable256(run.transform);
    const __m512i valueMap = loadBytes(run.expander->valueMap);
    const bool mapped = !run.expander->mapIdentity;
    const GatherWindow window{
        run.bytes, run.size, plan.windowVectors, plan.compactHigh, loadBytes(plan.compact), run.identity};
    const int64_t chunkBytes = plan.chunkBytes;
    const int64_t planeStride = plan.planeStride;
    __m512i pick[kDepth], bit[kDepth];
    for (int b = 0; b < kDepth; ++b) {
        pick[b] = loadBytes(plan.pick[b]);
        bit[b] = loadBytes(plan.bit[b]);
    }
    for (int x = 0; x < pixels; x += 64) {
        const int64_t offset = int64_t{x / 64} * chunkBytes;
        __m512i gathered =
            planeStride != 0 ? _mm512_setzero_si512() : gatheredBytes(window, transform, offset);
        __m512i out = _mm512_setzero_si512();
        for (int b = 0; b < kDepth; ++b) {
            if (planeStride != 0) gathered = gatheredBytes(window, transform, offset + b * planeStride);
            const __mmask64 set = _mm512_bitshuffle_epi64_mask(permuteBytes(pick[b], gathered), bit[b]);
            out = _mm512_mask_add_epi8(out, set, out, _mm512_set1_epi8(static_cast<char>(1 << b)));
        }
        if (mapped) out = permuteBytes(out, valueMap);
        _mm512_storeu_si512(reinterpret_cast<void*>(values + x), out);
    }
}

PL_AVX512 bool gatherAvx512(const BitGatherPlan& plan, const SourceRun& run, int pixels, uint8_t* values) {
    switch (plan.depth) {
        case 1:
            gatherChunks<1>(plan, run, pixels, values);
            return true;
        case 2:
            gatherChunks<2>(plan, run, pixels, values);
            return true;
        case 4:
            gatherChunks<4>(plan, run, pixels, values);
            return true;
        case 5:
            gatherChunks<5>(plan, run, pixels, values);
            return true;
        default:
            return false;
    }
}

PL_AVX512 bool copyAvx512(const SourceRun& run, int pixels, uint8_t* values) {
    const Table256 transform = loadTable256(run.transform);
    for (int x = 0; x < pixels; x += 64)
        _mm512_storeu_si512(reinterpret_cast<void*>(values + x), sourceVector(run, transform, x));
    return true;
}

#endif

}  // namespace

bool pixelKernelRuns(PixelKernel kernel) {
    return kernel == PixelKernel::Plain || machineRunsAvx512();
}

PixelKernel pixelKernel() {
    return chosenKernel;
}

bool usePixelKernel(PixelKernel kernel) {
    if (!pixelKernelRuns(kernel)) return false;
    chosenKernel = kernel;
    return true;
}

void prepareLineExpander(LineExpander& e, const int32_t* colours, int count, int factor) {
    e.factor = factor;
    e.groupPixels = 64 / factor;
    count = std::clamp(count, 1, 256);
    e.grey = true;
    for (int v = 0; v < count; ++v) {
        const int32_t c = colours[v];
        e.grey = e.grey && (c & 0xFF) == ((c >> 8) & 0xFF) && (c & 0xFF) == ((c >> 16) & 0xFF);
    }
    e.mapIdentity = true;
    for (int v = 0; v < 256; ++v) {
        e.valueMap[v] = static_cast<uint8_t>(e.grey && v < count ? colours[v] : v);
        e.mapIdentity = e.mapIdentity && e.valueMap[v] == v;
    }
    for (int v = 0; v < 16 && v < count; ++v)
        for (int byte = 0; byte < 3; ++byte)
            e.colours[16 * byte + v] = static_cast<uint8_t>(colours[v] >> (16 - 8 * byte));
    for (int k = 0, pixel = 0, inPixel = 0; k < 3; ++k) {
        for (int i = 0; i < 64; ++i) {
            e.pick[k][i] = static_cast<uint8_t>(pixel);
            e.channel[k][i] = static_cast<uint8_t>(16 * (inPixel % 3));
            if (++inPixel == 3 * factor) inPixel = 0, ++pixel;
        }
    }
    if (chosenKernel != PixelKernel::Plain) return;
    for (int v = 0; v < 256; ++v) {
        const int32_t c = e.grey ? v * 0x010101 : colours[v < count ? v : 0];
        for (int p = 0; p < factor && p < 16; ++p) {
            e.cells[v][3 * p] = static_cast<uint8_t>(c >> 16);
            e.cells[v][3 * p + 1] = static_cast<uint8_t>(c >> 8);
            e.cells[v][3 * p + 2] = static_cast<uint8_t>(c);
        }
    }
}

void expandLine(const LineExpander& expander, const uint8_t* values, const LineRows& rows, size_t at,
                size_t bytes) {
    if (bytes == 0 || rows.rows <= 0) return;
#if defined(__x86_64__)
    if (chosenKernel == PixelKernel::Avx512) return expandAvx512(expander, values, rows, at, bytes);
#endif
    expandPlain(expander, values, rows, at, bytes);
}

BitGatherPlan bitGatherPlan(SourceBitOf source, int depth, int chunkBytes, int64_t planeStride) {
    BitGatherPlan plan;
    plan.depth = depth;
    plan.chunkBytes = chunkBytes;
    plan.planeStride = planeStride;
    SourceBit bits[8][64];
    int window = 0;
    for (int b = 0; b < depth && b < 8; ++b) {
        for (int x = 0; x < 64; ++x) {
            bits[b][x] = source(x, b);
            window = std::max(window, bits[b][x].offset + 1);
        }
    }
    plan.windowVectors = window <= 64 ? 1 : window <= 128 ? 2 : 4;
    if (depth > 8 || window > 256 || (planeStride != 0 && window > 64)) return plan;
    int16_t slotOf[256];
    std::fill(std::begin(slotOf), std::end(slotOf), int16_t{-1});
    int used = 0;
    for (int b = 0; b < depth; ++b) {
        for (int x = 0; x < 64; ++x) {
            const SourceBit s = bits[b][x];
            int slot = s.offset;
            if (plan.windowVectors > 1) {
                if (slotOf[s.offset] < 0) {
                    if (used == 64) return plan;
                    plan.compact[used] = static_cast<uint8_t>(s.offset & 127);
                    if (s.offset >= 128) plan.compactHigh |= uint64_t{1} << used;
                    slotOf[s.offset] = static_cast<int16_t>(used++);
                }
                slot = slotOf[s.offset];
            }
            plan.pick[b][x] = static_cast<uint8_t>(slot);
            plan.bit[b][x] = static_cast<uint8_t>(8 * (x % 8) + s.bit);
        }
    }
    plan.usable = true;
    return plan;
}

bool gatherPixels(const BitGatherPlan& plan, const SourceRun& run, int pixels, uint8_t* values) {
#if defined(__x86_64__)
    if (chosenKernel == PixelKernel::Avx512 && plan.usable) return gatherAvx512(plan, run, pixels, values);
#endif
    (void)plan, (void)run, (void)pixels, (void)values;
    return false;
}

bool copyPixels(const SourceRun& run, int pixels, uint8_t* values) {
#if defined(__x86_64__)
    if (chosenKernel == PixelKernel::Avx512) return copyAvx512(run, pixels, values);
#endif
    (void)run, (void)pixels, (void)values;
    return false;
}

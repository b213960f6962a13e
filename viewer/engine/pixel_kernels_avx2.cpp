// The AVX2 kernels of the view's drawing (x86-64-v3): lines of values expanded into screen bytes
// 96 at a time with in-lane byte shuffles. They replace the portable entries of a kernel table
// when the processor has AVX2; the decoders stay the portable ones.
#include "viewer/engine/pixel_kernels_avx2.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>

namespace {

#define PL_AVX2 __attribute__((target("avx2")))
#define PL_AVX2_STEP PL_AVX2 inline __attribute__((always_inline))

// Three output vectors of 32 bytes, six lanes of 16 screen bytes. A lane's bytes show at most six
// pixels, so one 16-byte load from the lane's first pixel on holds them all.
constexpr int kBlockBytes = 96;
constexpr int kLanes = 6;
constexpr int kWidestFactor = 16;

struct BlockPattern {
    alignas(32) uint8_t pick[3][32];   // each byte's pixel, counted from its lane's first pixel
    alignas(32) uint8_t green[3][32];  // 0xFF where the byte is a pixel's screen byte 1
    alignas(32) uint8_t red[3][32];    // and screen byte 2 (byte 0 is blue)
    int firstPixel[kLanes];            // of each lane, from the block's first pixel
    int blockPixels;                   // 32 / factor
};

BlockPattern blockPattern(int factor) {
    BlockPattern p{};
    const int pixelBytes = kScreenPixelBytes * factor;
    p.blockPixels = kBlockBytes / pixelBytes;
    for (int at = 0; at < kBlockBytes; ++at) {
        const int lane = at / 16, k = at / 32, j = at % 32;
        p.firstPixel[lane] = (16 * lane) / pixelBytes;
        p.pick[k][j] = static_cast<uint8_t>(at / pixelBytes - p.firstPixel[lane]);
        p.green[k][j] = at % kScreenPixelBytes == 1 ? 0xFF : 0;
        p.red[k][j] = at % kScreenPixelBytes == 2 ? 0xFF : 0;
    }
    return p;
}

// The patterns of factors 1, 2, 4, 8 and 16, made once.
const BlockPattern& patternOf(int factor) {
    static const std::array<BlockPattern, kWidestFactor + 1> patterns = [] {
        std::array<BlockPattern, kWidestFactor + 1> made{};
        for (int factor = 1; factor <= kWidestFactor; factor *= 2) made[factor] = blockPattern(factor);
        return made;
    }();
    return patterns[factor];
}

struct ExpandVectors {
    __m256i pick[3], green[3], red[3];
    __m256i colours[3];  // the 16 colours' screen byte c in both lanes
};

PL_AVX2_STEP __m256i load32(const uint8_t* p) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
}

PL_AVX2_STEP __m256i bothLanes(const uint8_t* p) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

PL_AVX2_STEP ExpandVectors expandVectors(const LineExpander& e, const BlockPattern& p) {
    ExpandVectors x;
    for (int k = 0; k < 3; ++k) {
        x.pick[k] = load32(p.pick[k]);
        x.green[k] = load32(p.green[k]);
        x.red[k] = load32(p.red[k]);
        x.colours[k] = bothLanes(e.colours + 16 * k);
    }
    return x;
}

// Output vector k of the block whose first pixel is values[0]: grey levels repeated, or colour
// numbers looked up in the three tables of screen bytes.
template <bool kGrey>
PL_AVX2_STEP __m256i blockVector(const ExpandVectors& x, const BlockPattern& p, const uint8_t* values,
                                 int k) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + p.firstPixel[2 * k]));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + p.firstPixel[2 * k + 1]));
    const __m256i v = _mm256_shuffle_epi8(_mm256_set_m128i(high, low), x.pick[k]);
    if constexpr (kGrey) return v;
    const __m256i blue = _mm256_shuffle_epi8(x.colours[0], v);
    const __m256i green = _mm256_blendv_epi8(blue, _mm256_shuffle_epi8(x.colours[1], v), x.green[k]);
    return _mm256_blendv_epi8(green, _mm256_shuffle_epi8(x.colours[2], v), x.red[k]);
}

PL_AVX2_STEP void storeToRows(const LineRows& rows, uint8_t* at, __m256i v) {
    for (int r = 0; r < rows.rows; ++r)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + r * rows.step), v);
}

template <bool kGrey>
PL_AVX2 void expandBlocks(const LineExpander& e, const uint8_t* values, const LineRows& rows, uint8_t* out,
                          size_t bytes) {
    const BlockPattern& p = patternOf(e.factor);
    const ExpandVectors x = expandVectors(e, p);
    size_t done = 0;
    for (; done + kBlockBytes <= bytes; done += kBlockBytes, values += p.blockPixels)
        for (int k = 0; k < 3; ++k)
            storeToRows(rows, out + done + 32 * k, blockVector<kGrey>(x, p, values, k));
    if (done == bytes) return;
    // The last bytes, cut from a whole block.
    alignas(32) uint8_t last[kBlockBytes];
    for (int k = 0; k < 3; ++k)
        _mm256_store_si256(reinterpret_cast<__m256i*>(last + 32 * k), blockVector<kGrey>(x, p, values, k));
    for (int r = 0; r < rows.rows; ++r) std::memcpy(out + done + r * rows.step, last, bytes - done);
}

void expandLineAvx2(const LineExpander& expander, const uint8_t* values, const LineRows& rows, size_t at,
                    size_t bytes) {
    if (bytes == 0 || rows.rows <= 0) return;
    if (expander.grey) {
        expandBlocks<true>(expander, values, rows, rows.first + at, bytes);
    } else {
        expandBlocks<false>(expander, values, rows, rows.first + at, bytes);
    }
}

bool machineRunsAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

}  // namespace

bool overrideWithAvx2(PixelKernels& kernels) {
    if (!machineRunsAvx2()) return false;
    kernels.expandLine = expandLineAvx2;
    return true;
}

#else

bool overrideWithAvx2(PixelKernels&) {
    return false;
}

#endif

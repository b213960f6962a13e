// The small steps the AVX2 kernels share (pixel_kernels_avx2*.cpp): loads, byte transforms as nibble
// tables, and the transpose of 8 x 8 bit squares.
#pragma once

#include "viewer/engine/pixel_kernels.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include <initializer_list>

namespace avx2 {

#define PL_AVX2 __attribute__((target("avx2,bmi,bmi2,fma")))
// The small steps, inlined into the loops that use them.
#define PL_AVX2_STEP PL_AVX2 inline __attribute__((always_inline))

PL_AVX2_STEP __m256i load32(const uint8_t* p) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
}

PL_AVX2_STEP __m256i loadAny(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

PL_AVX2_STEP __m256i bothLanes(const uint8_t* p) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// 16 bytes from `low` in the low lane and 16 from `high` in the high one.
PL_AVX2_STEP __m256i twoLanes(const uint8_t* low, const uint8_t* high) {
    return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(high), reinterpret_cast<const __m128i*>(low));
}

// 8-bit values through a byte transform that is a sum of bits (any that moves and inverts
// them): the low nibble's and the high nibble's part looked up apart.
struct CopyTables {
    alignas(16) uint8_t low[16];
    alignas(16) uint8_t high[16];
};

inline bool copyTables(const uint8_t* transform, CopyTables& t) {
    for (int n = 0; n < 16; ++n) {
        t.low[n] = transform[n];
        t.high[n] = static_cast<uint8_t>(transform[n << 4] ^ transform[0]);
    }
    for (int v = 0; v < 256; ++v)
        if (transform[v] != (t.low[v & 15] ^ t.high[v >> 4])) return false;
    return true;
}

// The bytes of v through a transform given as nibble tables (in both lanes).
PL_AVX2_STEP __m256i throughNibbleTables(__m256i low, __m256i high, __m256i v) {
    const __m256i nibble = _mm256_set1_epi8(15);
    return _mm256_xor_si256(_mm256_shuffle_epi8(low, _mm256_and_si256(v, nibble)),
                            _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble)));
}

// Bits k + s of `low` and bits k of `high` swapped, for the bits k of `mask`.
template <int kShift>
PL_AVX2_STEP void swapBits(__m256i& low, __m256i& high, __m256i mask) {
    const __m256i t = _mm256_and_si256(_mm256_xor_si256(_mm256_srli_epi16(low, kShift), high), mask);
    high = _mm256_xor_si256(high, t);
    low = _mm256_xor_si256(low, _mm256_slli_epi16(t, kShift));
}

// Byte g of r[b] bit k becomes byte g of r[k] bit b.
PL_AVX2_STEP void transposeBits(__m256i (&r)[8]) {
    for (int b = 0; b < 4; ++b) swapBits<4>(r[b], r[b + 4], _mm256_set1_epi8(0x0F));
    for (const int b : {0, 1, 4, 5}) swapBits<2>(r[b], r[b + 2], _mm256_set1_epi8(0x33));
    for (const int b : {0, 2, 4, 6}) swapBits<1>(r[b], r[b + 1], _mm256_set1_epi8(0x55));
}

// Byte p of v[j] is pixel j of group p (8 pixels a group, 16 groups a lane): c[i] holds the pixels of
// groups 2i and 2i + 1 of each lane, in order.
PL_AVX2_STEP void interleavePixels(const __m256i (&v)[8], __m256i (&c)[8]) {
    __m256i a[8];
    for (int k = 0; k < 4; ++k) {
        a[k] = _mm256_unpacklo_epi8(v[2 * k], v[2 * k + 1]);      // groups 0-7 (lane 1: 16-23)
        a[k + 4] = _mm256_unpackhi_epi8(v[2 * k], v[2 * k + 1]);  // groups 8-15 (24-31)
    }
    for (int h = 0; h < 2; ++h) {
        const __m256i* in = a + 4 * h;
        const __m256i b[4] = {_mm256_unpacklo_epi16(in[0], in[1]), _mm256_unpackhi_epi16(in[0], in[1]),
                              _mm256_unpacklo_epi16(in[2], in[3]), _mm256_unpackhi_epi16(in[2], in[3])};
        for (int q = 0; q < 2; ++q) {
            c[4 * h + 2 * q] = _mm256_unpacklo_epi32(b[q], b[q + 2]);
            c[4 * h + 2 * q + 1] = _mm256_unpackhi_epi32(b[q], b[q + 2]);
        }
    }
}

}  // namespace avx2

#endif

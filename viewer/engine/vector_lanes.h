// 16-byte vectors of the compiler's generic vector extensions, for the portable writer and
// decoders: SSE2 on x86-64, NEON on aarch64. Only shuffles with constant indices that the two
// instruction sets have (unpacks, 16- and 32-bit lane shuffles, packs), shifts and masks.
#pragma once

#include <cstdint>

using Bytes16 = uint8_t __attribute__((vector_size(16)));
using Words8 = uint16_t __attribute__((vector_size(16)));
using Dwords4 = uint32_t __attribute__((vector_size(16)));

// The low bytes of a's lanes, then b's.
inline Bytes16 lowBytes(Words8 a, Words8 b) {
    return __builtin_shufflevector(reinterpret_cast<Bytes16>(a), reinterpret_cast<Bytes16>(b), 0, 2, 4, 6, 8,
                                   10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
}

// 16-bit lanes of bytes 0..7 (and 8..15) of a in the low halves, of b in the high halves.
inline Words8 interleaveLow(Bytes16 a, Bytes16 b) {
    return reinterpret_cast<Words8>(
        __builtin_shufflevector(a, b, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23));
}

inline Words8 interleaveHigh(Bytes16 a, Bytes16 b) {
    return reinterpret_cast<Words8>(
        __builtin_shufflevector(a, b, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31));
}

using Quads2 = uint64_t __attribute__((vector_size(16)));

// 32-bit lanes of 16-bit lanes 0..3 (and 4..7) of a in the low halves, of b in the high halves.
inline Dwords4 interleaveLowWords(Words8 a, Words8 b) {
    return reinterpret_cast<Dwords4>(__builtin_shufflevector(a, b, 0, 8, 1, 9, 2, 10, 3, 11));
}

inline Dwords4 interleaveHighWords(Words8 a, Words8 b) {
    return reinterpret_cast<Dwords4>(__builtin_shufflevector(a, b, 4, 12, 5, 13, 6, 14, 7, 15));
}

// 64-bit lanes of 32-bit lanes 0..1 (and 2..3) of a in the low halves, of b in the high halves.
inline Quads2 interleaveLowDwords(Dwords4 a, Dwords4 b) {
    return reinterpret_cast<Quads2>(__builtin_shufflevector(a, b, 0, 4, 1, 5));
}

inline Quads2 interleaveHighDwords(Dwords4 a, Dwords4 b) {
    return reinterpret_cast<Quads2>(__builtin_shufflevector(a, b, 2, 6, 3, 7));
}

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

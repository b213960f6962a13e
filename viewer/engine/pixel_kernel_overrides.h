// What the kernels of an instruction set share with the portable ones, and how each set puts its
// kernels over the portable entries of a table.
#pragma once

#include "viewer/engine/pixel_kernels.h"

// Bytes [from, from + bytes) asked for ahead, every cache line they touch.
inline void prefetchBytes(const uint8_t* from, int64_t bytes) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(from);
    for (uintptr_t at = start & ~uintptr_t{63}; at < start + static_cast<uint64_t>(bytes); at += 64)
        __builtin_prefetch(reinterpret_cast<const void*>(at));
}

// Puts the AVX-512 kernels into the table; false, the table unchanged, where the processor lacks
// the instructions (or the build is not for x86-64).
bool overrideWithAvx512(PixelKernels& kernels);

// The bytes the engine reads: a pointer and a 64-bit count, passed to every render, save and
// look-up instead of any loaded state.
#pragma once

#include <cstdint>

// The most bytes of data and the farthest position the engine reaches (1 PiB): past every file
// system in use, yet far enough below 2^63 that a position plus any view's rows never wraps.
constexpr int64_t kLargestDataSize = int64_t{1} << 50;

struct DataBytes {
    const uint8_t* bytes = nullptr;  // nullptr: nothing loaded
    int64_t size = 0;
};

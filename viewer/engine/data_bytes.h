// The bytes the engine reads: a pointer and a 64-bit count, passed to every render, save and
// look-up instead of any loaded state.
#pragma once

#include <cstdint>

struct DataBytes {
    const uint8_t* bytes = nullptr;  // nullptr: nothing loaded
    int64_t size = 0;
};

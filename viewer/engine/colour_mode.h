// The numbers of the colour modes that code names: the four byte-cell modes first, then some
// modes of other machines (their rows in viewer/engine/mode_table.h).
#pragma once

#include <cstdint>

enum ColourMode : int32_t {
    kModeBinary = 0,
    kModeAtari = 1,
    kModeBk = 2,
    kModeSam = 3,
    kModeChunky8 = 4,
    kModeSt4 = 9,
    kModeZx = 12,
    kModeNes = 13,
};
constexpr int kColourModeCount = 4;  // the byte-cell modes

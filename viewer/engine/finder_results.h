// What the finder answers: the widths it guesses and the regions it finds; shared by the
// finder's entry points and its stages.
#pragma once

#include <array>
#include <cstdint>

#include "viewer/engine/view_limits.h"

constexpr int32_t kFinderLargestWidth = kMaxBytesPerRow;

struct WidthCandidate {
    int32_t width;
    int32_t score;  // thousandths; the higher, the clearer the rows line up at this width
};

// count 0: nothing found. Otherwise candidates[0] is the guess, the rest runners-up by score.
struct WidthGuess {
    int32_t count;
    std::array<WidthCandidate, 5> candidates;
};

struct GraphicsRegion {
    int64_t first;  // lines up with the picture's rows
    int64_t length;
    int32_t width;
    int32_t score;  // thousandths, as in WidthCandidate
};

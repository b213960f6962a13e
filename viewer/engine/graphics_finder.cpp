// The finder's entry points: they check their arguments and run the stages (finder_pairs,
// finder_widths, finder_guess, finder_edges, finder_scan) with the pair loops this processor
// runs fastest.
#include "viewer/engine/graphics_finder.h"

#include <algorithm>

#include "viewer/engine/finder_guess.h"
#include "viewer/engine/finder_scan.h"

namespace {

bool judgeable(const uint8_t* data, int64_t size, int32_t mode) {
    return data != nullptr && size > 0 && mode >= 0 && mode <= 3;
}

int clampWidth(int32_t maxWidth) {
    return std::clamp<int32_t>(maxWidth, 1, kFinderLargestWidth);
}

}  // namespace

WidthGuess guessWidth(const uint8_t* data, int64_t size, int64_t first, int32_t mode, int32_t maxWidth) {
    if (!judgeable(data, size, mode)) return {};
    return finder::guessAt(data, size, first, mode, clampWidth(maxWidth), finder::fastestPairLoops());
}

std::vector<GraphicsRegion> scanGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t from,
                                         int64_t to, int32_t maxWidth) {
    if (!judgeable(data, size, mode)) return {};
    return finder::scan(data, size, mode, from, to, clampWidth(maxWidth), finder::fastestPairLoops());
}

bool findNextGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t position, int32_t maxWidth,
                      GraphicsRegion& found) {
    return judgeable(data, size, mode) && finder::findNext(data, size, mode, position, clampWidth(maxWidth),
                                                           found, finder::fastestPairLoops());
}

bool findPreviousGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t position, int32_t maxWidth,
                          GraphicsRegion& found) {
    return judgeable(data, size, mode) &&
           finder::findPrevious(data, size, mode, position, clampWidth(maxWidth), found,
                                finder::fastestPairLoops());
}

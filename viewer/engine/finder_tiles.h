// The finder in a tiled format: the tiles per row at which the tiles of a sprite sheet or a screen
// continue each other, each tile's bottom pixel row going on in the top row of the tile below.
#pragma once

#include <cstdint>
#include <vector>

#include "viewer/engine/finder_results.h"
#include "viewer/engine/scan_progress.h"

struct ModeRow;

namespace finder {

// The tiles per row (1..maxWidth) of the tiles from `first`, judged on at most 1024 tiles.
WidthGuess guessTilesPerRow(const uint8_t* data, int64_t size, int64_t first, const ModeRow& row,
                            int maxWidth);

// The regions whose first byte lies in [from, to) where runs of tiles line up, their first bytes on
// whole tiles from the data's start, their widths in tiles; watched by the meter's hook.
std::vector<GraphicsRegion> scanTiles(const uint8_t* data, int64_t size, int64_t from, int64_t to,
                                      const ModeRow& row, int maxWidth, ScanMeter& meter);

}  // namespace finder

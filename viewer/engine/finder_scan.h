// The finder's last stage, the scan: a quick look at every few hundred bytes for rows that line
// up, a closer one where they do, and the regions that hold pictures, with their widths judged
// from their first rows and their edges placed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "viewer/engine/finder_pairs.h"
#include "viewer/engine/finder_results.h"
#include "viewer/engine/scan_progress.h"

namespace finder {

// A quick look passes on at most this many widths to a block's closer look.
constexpr int kQuickWidths = 3;
using QuickWidths = std::array<int, kQuickWidths>;

// The widths at which the sampled pairs at the start of the block at `begin` line up most
// clearly, as scoreWidths would judge them, best first; 0 for none. A sample holds few rows of
// a wide picture, so that a width beside it may come first by chance.
QuickWidths quickLookWidths(const uint8_t* data, int64_t size, int64_t begin, int mode, int maxWidth,
                            const PairLoops& loops);

// A picture around `anchor`, where the sampled blocks saw one: its width judged on the blocks
// from the anchor, its extent grown block by block at that width and then lined up with its
// rows, its score. False when a closer look finds none.
bool regionAround(const uint8_t* data, int64_t size, int64_t anchor, int mode, int maxWidth,
                  GraphicsRegion& region, const PairLoops& loops);

// scanGraphics with the pair loops given, for data of at least one byte, mode 0..3 and maxWidth in
// 1..kFinderLargestWidth, watched by the meter's hook.
std::vector<GraphicsRegion> scan(const uint8_t* data, int64_t size, int mode, int64_t from, int64_t to,
                                 int maxWidth, const PairLoops& loops, ScanMeter& meter);

// The regions whose first byte lies in [from, to), as a scan lists them.
using StretchScan = std::function<std::vector<GraphicsRegion>(int64_t from, int64_t to)>;

// The first region that starts after `position` and the last that starts before it, scanning
// stretches of 64 KiB first, then twice as long each time, each watched by the meter (false also
// when its hook stops the search).
bool firstRegionAfter(int64_t size, int64_t position, const StretchScan& scan, GraphicsRegion& found,
                      ScanMeter& meter);
bool lastRegionBefore(int64_t size, int64_t position, const StretchScan& scan, GraphicsRegion& found,
                      ScanMeter& meter);

}  // namespace finder

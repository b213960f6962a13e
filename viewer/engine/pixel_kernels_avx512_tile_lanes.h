// AVX-512 kernels for tiles whose chunk of 8 tiles lies too far apart for the windows of one load
// (plans of tile lanes: 8-bit tiles of 64 bytes, SNES 8 bpp, mode 7): each tile is loaded on its
// own, its rows arranged one a lane, and the lanes of 8 tiles transposed into unit rows of 64
// pixels.
#pragma once

#include "viewer/engine/pixel_kernels_avx512_steps.h"

#if defined(__x86_64__)

namespace avx512 {

// The decoder of `rows` unit rows `step` bytes apart of a plan of tile lanes, its tile
// arrangement made in rowPlans; nullptr for other plans and where a row reads past 128 bytes of
// its tile.
UnitRowsDecoder tileLaneDecoder(const BitGatherPlan& plan, const LineExpander& e, int64_t step, int rows,
                                RowArrangements& rowPlans);

// The same rows straight into the image, for values one screen pixel wide on one image row;
// nullptr for others.
UnitRowExpander tileLaneExpander(const BitGatherPlan& plan, const LineExpander& e,
                                 const RowArrangements& rowPlans, int zoomRows);

}  // namespace avx512

#endif

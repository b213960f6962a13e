// AVX2 kernels for tiles 8 pixels wide drawn 8 unit rows at a time (NES, Game Boy, SNES, Master
// System, GBA 8 bpp, SNES mode 7 and formats of the same shapes): the eight unit rows of a view row
// are decoded together, four tiles a round, each tile's bytes loaded once.
// - Planar tiles: each pair of planes is shuffled out of the tiles' 16-byte windows (the rows of two
//   tiles side by side), the 8 x 8 bit squares transposed, and the pixels interleaved into rows.
// - Tiles of 8-bit pixels: each pair of rows shuffled out of the windows, two rows of two tiles a
//   vector, unpacked into rows of four tiles.
#pragma once

#include "viewer/engine/pixel_kernels_avx2_steps.h"

#if defined(__x86_64__)

namespace avx2 {

constexpr int kMostTileWindows = 4;

// How a batch's tiles are decoded: made once per batch.
struct TileRows {
    int64_t tileBytes = 0;  // from one tile to the next
    int64_t reach = 0;      // bytes a tile's loads read from its first
    // The 16-byte windows a tile is loaded as: planar tiles, windowAt[0][w] for every pair of planes;
    // 8-bit pixels, windowAt[q][w] for rows 2q and 2q + 1.
    int64_t windowAt[4][kMostTileWindows] = {};
    // Byte k of pick[q][w]: the window byte that gives byte k of pair q's vector (0x80 for none). Planar:
    // plane 2q's rows 0-7, then plane 2q + 1's; 8-bit pixels: row 2q's pixels, then row 2q + 1's.
    alignas(16) uint8_t pick[4][kMostTileWindows][16] = {};
    CopyTables transform;
    bool identity = true;
    bool mapped = false;  // planar: the values go through the expander's map
    alignas(16) uint8_t valueMap[16] = {};
    // The 8 unit rows of `pixels` pixels (rounded up to 32) of the tiles from `tiles` on (`size` bytes
    // readable), into lines `lineBytes` apart from `values` on.
    void (*decode)(const TileRows&, const uint8_t* tiles, int64_t size, int pixels, uint8_t* values,
                   size_t lineBytes) = nullptr;
};

// The decoder of a batch of tiles 8 pixels wide, 8 unit rows a view row, whose planes or 8-bit pixels
// lie in at most four 16-byte windows of each tile; false (nothing made) for others.
bool tileRows(const BitGatherPlan& plan, const LineExpander& e, const LineBatch& b, const ValueLines& lines,
              TileRows& t);

// The unit rows of the view row whose first byte is at data index rowStart, into the lines of values.
void decodeTileRows(const TileRows& t, const LineBatch& b, int64_t rowStart, const ValueLines& lines);

}  // namespace avx2

#endif

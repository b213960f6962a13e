// The finder's fourth stage, region edges: where a picture of a known width begins and ends,
// placed where the bytes on either side are likeliest (the picture's bytes within, the data
// around it without), and lined up with its rows.
#pragma once

#include <cstdint>
#include <vector>

namespace finder {

struct Extent {
    int64_t first;
    int64_t end;
};

// The picture's extent near the rough one, where its bytes at `width` are likeliest: its edges
// placed within a block either way of the rough ones, again from each answer, so that the
// picture is learned from its own bytes more and more. `glyphs`: the rows are a font's glyphs.
Extent settledExtent(const uint8_t* data, int64_t size, Extent rough, int width, int mode, bool glyphs);

// A flat run across an edge of the picture (a blank margin beside blank data) hides where
// the picture begins or ends: its rows there are left out, so that the first row shown is
// one of the picture's.
Extent trimFlatEdges(const uint8_t* data, int64_t size, Extent extent, int width);

// Which bytes of [begin, end) lie in a run of one value long enough to part pictures.
std::vector<uint8_t> longBlankBytes(const uint8_t* data, int64_t size, int64_t begin, int64_t end);

}  // namespace finder

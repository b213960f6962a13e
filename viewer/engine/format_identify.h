// Which format a stretch of data is: each format's width guess, and how much the pixels it then
// draws resemble their neighbours, against pixels paired at random.
#pragma once

#include <cstdint>
#include <vector>

struct AddedModes;
struct ModeRow;

struct FormatAnswer {
    int mode;
    int width;  // in the format's width units (tiles per row in a tiled format)
    int score;  // thousandths: how much less neighbouring pixels differ than pixels paired at random
};

// The formats, best first, at which the bytes [first, first + length) of the data draw a picture,
// with their widths; none where nothing looks like one. Formats that draw the same pixels from the
// same bytes count once, as the first of them in the table. Judged on at most 64 KiB.
// Formats added from files are judged too when `added` holds them.
std::vector<FormatAnswer> identifyFormats(const uint8_t* data, int64_t size, int64_t first, int64_t length,
                                          const AddedModes* added = nullptr);

// Whether two formats draw the same pixels from the same bytes: the same shape of units, and the
// same pixels from bytes of every value.
bool drawSamePixels(const ModeRow& a, const ModeRow& b);

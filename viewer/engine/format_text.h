// A pixel format written as text: the "key = value" lines of a format file (.plfmt), read into
// the same record as the built-in formats, and a record written back as such lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "viewer/engine/mode_table.h"

// The most value bits a description may give a pixel.
constexpr int kMostDescribedBits = 32;

enum class FormatColours { Grey, Palette, Direct };

// What a format file says, as the record of its format; the record's menu text and CLI name are
// left unset, since `name` and `id` own those strings.
struct FormatDescription {
    std::string name, id;
    int bits = 0;
    int bitsLine = 0, coloursLine = 0;
    ModeRecord record{};
    BitAddress valueBits[kMostDescribedBits] = {};
    int valueBytes = 0;  // `value = N e`: N, else 0
    bool bigEndian = false;
    FormatColours colours = FormatColours::Grey;
    std::string palette;            // colours = palette NAME
    uint32_t channelMasks[4] = {};  // colours = direct R G B [A]; A 0 when not given
};

// The description, or on failure the line (from 1) and what is wrong there; problems of the
// whole text (a required key missing) name the last line.
struct FormatParse {
    bool ok = false;
    int line = 0;
    std::string problem;
    FormatDescription format;
};

FormatParse parseFormatText(std::string_view text);

// The layout as format files and format lists write it: "linear", "tiled" or "byte cells".
const char* layoutName(ModeLayout layout);

// The lines of a linear or tiled record that parseFormatText reads back into the same layout.
std::string formatText(const ModeRecord& record);

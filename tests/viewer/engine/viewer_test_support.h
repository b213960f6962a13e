// Shared by the viewer's tests: bytes and a view of them, and the colours' letters.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "graphics/images.h"
#include "viewer/engine/colour_mode.h"
#include "viewer/engine/pixel_decoding.h"
#include "viewer/engine/pixel_kernel_tables.h"
#include "viewer/engine/sheet_render.h"

// The image the tests draw the view into.
constexpr int kSheetImage = 0;

// The kernels the tests' views are drawn with: a KernelTableTest sets each table in turn.
inline const PixelKernels* testKernels = &fastestPixelKernels();

// Bytes as a loaded file holds them (16 zero bytes behind the data), and a view of them.
struct TestView {
    std::vector<uint8_t> block;
    int64_t size = 0;
    SheetOptions options{};

    DataBytes data() const { return {block.data(), size}; }
};

// The options of a view 512 pixels high; options: 1 inverse, 2 reverse, 4 nibble swap, 8 multi.
inline SheetOptions viewOptions(int mode, int bytesPerRow, int zoom, int64_t first = 0, int options = 0) {
    return {first,
            bytesPerRow,
            zoom,
            mode,
            512,
            (options & 1) != 0,
            (options & 2) != 0,
            (options & 4) != 0,
            (options & 8) != 0,
            testKernels};
}

// The bytes and a view of them, as viewOptions makes it.
inline TestView testView(const std::vector<uint8_t>& bytes, int mode, int bytesPerRow, int zoom,
                         int64_t first = 0, int options = 0) {
    TestView view;
    view.block = bytes;
    view.block.resize(bytes.size() + 16, 0);
    view.size = static_cast<int64_t>(bytes.size());
    view.options = viewOptions(mode, bytesPerRow, zoom, first, options);
    return view;
}

// The view drawn into image `number` (none there: an empty target).
inline SheetResult drawTestView(const TestView& view, int number = kSheetImage) {
    const ImageBuffer* image = imageBuffer(number);
    return drawSheet(view.data(), view.options, image != nullptr ? *image : ImageBuffer{});
}

// Bytes first.. of `data` as saved: 0 outside it, inside it inverted and bit-reversed as asked.
inline std::string savedBytes(const std::vector<uint8_t>& data, int64_t first, int64_t size, bool inverse,
                              bool reverse) {
    std::string bytes;
    for (int64_t at = first; at < first + size; ++at) {
        const bool inData = at >= 0 && at < static_cast<int64_t>(data.size());
        const int raw = inData ? data[at] : 0;
        int value = 0;
        for (int bit = 0; bit < 8; ++bit) value |= ((raw >> bit) & 1) << (reverse ? 7 - bit : bit);
        bytes += static_cast<char>(inverse && inData ? value ^ 0xFF : value);
    }
    return bytes;
}

// Letters of the documented colours, apart from the decoder: Atari 'o', 'g', 't'; BK 'u', 'n', 'r'; Sam 1..F.
inline const std::map<int32_t, char>& viewerLegend() {
    static const std::map<int32_t, char> legend = {
        {0x000000, '.'}, {0xFFFFFF, 'W'}, {0xFFFF00, 'c'}, {0x4F65B3, 'o'}, {0x35BC84, 'g'},
        {0x5E510C, 't'}, {0xFF0000, 'u'}, {0x00FF00, 'n'}, {0x0000FF, 'r'}, {0x808080, '-'},
        {0x490000, '1'}, {0x000049, '2'}, {0x490049, '3'}, {0x004900, '4'}, {0x494900, '5'},
        {0x004949, '6'}, {0x494949, '7'}, {0x242424, '8'}, {0x6D2424, '9'}, {0x24246D, 'A'},
        {0x6D246D, 'B'}, {0x246D24, 'C'}, {0x6D6D24, 'D'}, {0x246D6D, 'E'}, {0x6D6D6D, 'F'},
    };
    return legend;
}

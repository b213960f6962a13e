// Shared by the viewer's tests: a data buffer loaded from bytes, and the colours' letters.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/file_services.h"
#include "viewer/engine/pixel_decoding.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/engine/viewer_state.h"

// Fresh state with the byte tables built and the given bytes loaded.
inline void loadBytes(const std::vector<uint8_t>& bytes) {
    if (viewerState.dataBuffer != nullptr) freeMemory(viewerState.dataBuffer);
    initViewerState();
    buildByteTables();
    viewerState.dataBuffer = allocateMemory(static_cast<int64_t>(bytes.size()) + 16);
    viewerState.dataSize = static_cast<int32_t>(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) viewerState.dataBuffer[i] = bytes[i];
}

inline void unloadBytes() {
    if (viewerState.dataBuffer != nullptr) freeMemory(viewerState.dataBuffer);
    initViewerState();
}

// Loads the bytes and sets the view; options: 1 inverse, 2 reverse, 4 nibble swap, 8 multi. A first byte
// beyond 32 bits takes the fine offset, as at the last row of the largest file.
inline void showBytes(const std::vector<uint8_t>& bytes, int mode, int bytesPerRow, int zoom,
                      int64_t first = 0, int options = 0) {
    loadBytes(bytes);
    viewerState.colourMode = mode;
    viewerState.bytesPerRow = bytesPerRow;
    viewerState.zoom = zoom;
    viewerState.byteOffset = static_cast<int32_t>(std::min<int64_t>(first, INT32_MAX));
    setHeldValue(HeldValue::FineOffset, static_cast<int>(first - viewerState.byteOffset));
    setHeldValue(HeldValue::Inverse, options & 1);
    setHeldValue(HeldValue::ReverseByte, (options >> 1) & 1);
    setHeldValue(HeldValue::NibbleSwap, (options >> 2) & 1);
    setHeldValue(HeldValue::MultiColumn, (options >> 3) & 1);
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

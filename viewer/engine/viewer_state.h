// The one process-wide record of the viewer, and the nine values that the main
// window's controls hold once they exist.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "support/file_services.h"

// The four byte-cell modes, then the modes of other machines (viewer/mode_table.h).
enum ColourMode : int32_t {
    kModeBinary = 0,
    kModeAtari = 1,
    kModeBk = 2,
    kModeSam = 3,
    kModeChunky8 = 4,
    kModeSt4 = 9,
    kModeZx = 12,
    kModeNes = 13,
};
constexpr int kColourModeCount = 4;  // the byte-cell modes

// Values that live in controls of the main window. While no controls are bound
// (command-line program, tests, start-up) they live in ViewerState::held.
enum class HeldValue {
    RowPosition,
    Width,
    FineOffset,
    Inverse,
    ReverseByte,
    Grid,
    MultiColumn,
    NibbleSwap,
    ZoomPreview
};
constexpr int kHeldValueCount = 9;

// A place in the view as the layout draws it: the strip (from the left), the cell within
// that strip's view row (a byte, a tile, or a whole linear row), and the view row (from the top).
struct ViewCell {
    int32_t strip;
    int32_t cellInRow;
    int32_t row;
};

// The rectangle dragged on the view with the left button, and the view it belongs to: it is
// dropped when the view moves or changes its layout, or another file is loaded.
struct ViewSelection {
    bool shown;    // a rectangle is selected and framed
    bool pressed;  // the left button went down on the view and is still held
    bool dragged;  // since then the pointer has moved away far enough to select
    int32_t pressX, pressY;
    ViewCell anchor, corner;  // where the drag began and where it is now
    // The view it was made in.
    int64_t viewFirst;
    int32_t bytesPerRow, zoom, colourMode, multiColumn;
    const uint8_t* data;
};

struct ViewerState {
    uint8_t* dataBuffer;  // nullptr: nothing loaded; else dataSize + 16 zero-padded bytes
    int32_t dataSize;
    int32_t bytesPerRow;  // copy of the width control, taken by applyScroll
    int32_t byteOffset;   // rowPosition x bytesPerRow
    int32_t zoom;         // 1, 2, 4 or 8
    int32_t colourMode;   // ColourMode
    int32_t stayOnTop;
    int32_t maxWidth;
    int32_t viewHeight;
    int32_t jumpRow;  // -1: no jump pending
    std::string windowTitle;
    std::string lastFolder;
    std::string loadedFileName;
    FileIdentity loadedFile;  // the file the data was read from, which no save may replace
    std::array<uint8_t, 256> reverseBitsTable;
    std::array<uint8_t, 256> swapNibblesTable;
    // Every combination of inverse (4), bit reversal (2) and nibble swap (1) as one table, made
    // from the two above whenever they are written.
    std::array<std::array<uint8_t, 256>, 8> transformTables;
    std::array<int32_t, 16> palette;  // 0x00BBGGRR, rewritten by each render
    int32_t convertOk;
    // Storage of the held values while unbound; read and write them only
    // through heldValue/setHeldValue, which follow the binding.
    std::array<int32_t, kHeldValueCount> held;
    ViewSelection selection;
};

extern ViewerState viewerState;

// Resets the record to its start values (nothing loaded, zoom 1, width 1,
// Binary, maxWidth 256, jumpRow -1, lastFolder = current folder) and removes
// any binding of the held values.
void initViewerState();

// Fills reverseBitsTable and swapNibblesTable, and the transform tables made from them.
void buildByteTables();

// The byte with its bit order reversed (bit k becomes bit 7 - k); what reverseBitsTable
// holds, as arithmetic that loops over many bytes can run several bytes at a time.
constexpr uint8_t reverseBits(uint8_t value) {
    unsigned v = value;
    v = (v & 0xF0) >> 4 | (v & 0x0F) << 4;
    v = (v & 0xCC) >> 2 | (v & 0x33) << 2;
    v = (v & 0xAA) >> 1 | (v & 0x55) << 1;
    return static_cast<uint8_t>(v);
}

int heldValue(HeldValue which);
void setHeldValue(HeldValue which, int value);

// The window binds its controls here so that they hold the nine values;
// bindHeldValues(nullptr, nullptr) returns them to the record.
void bindHeldValues(int (*get)(HeldValue), void (*set)(HeldValue, int));

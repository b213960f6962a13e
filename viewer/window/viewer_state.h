// The one process-wide record of the viewer, and the nine values that the main
// window's controls hold once they exist.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "support/file_services.h"
#include "viewer/engine/bookmarks.h"
#include "viewer/engine/colour_mode.h"
#include "viewer/engine/data_buffer.h"
#include "viewer/engine/format_files.h"
#include "viewer/engine/palette_choice.h"
#include "viewer/engine/palettes.h"
#include "viewer/engine/pixel_kernel_tables.h"
#include "viewer/engine/view_block.h"

// Values that live in controls of the main window. While no controls are bound
// (tests, start-up) they live in ViewerState::held.
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
    int32_t viewWidth, viewHeight;
    const uint8_t* data;
};

struct ViewerState {
    const uint8_t* dataBuffer{};  // nullptr: nothing loaded; else dataSize + 16 zero-padded bytes
    // The bytes shown: the loaded size, or fewer once the file has been cut short under the view.
    int64_t dataSize{};
    DataFile loaded;           // what holds the bytes
    int64_t releasedAround{};  // the view\'s first byte when the far pages of a mapped file were let go
    int32_t bytesPerRow{};     // copy of the width control, taken by applyScroll
    int64_t byteOffset{};      // rowPosition x bytes of a view row
    // The row position; the row bar shows it scaled when there are more rows than its 32 bits
    // hold. barRows is the last row the bar's range stood for when it was last set.
    int64_t rowPosition{};
    int64_t barRows{};
    int32_t zoom{};        // 1, 2, 4 or 8
    int32_t colourMode{};  // ColourMode
    int32_t stayOnTop{};
    int32_t maxWidth{};
    int32_t viewWidth{};  // 600 x 512 at the start; the window's size makes it larger
    int32_t viewHeight{};
    int64_t jumpRow{};  // -1: no jump pending
    std::string windowTitle;
    std::string lastFolder;
    std::string loadedFileName;
    FileIdentity loadedFile;  // the file the data was read from, which no save may replace
    FileKey loadedKey;        // its bookmarks' key; an empty path when it can have none
    // Storage of the held values while unbound; read and write them only
    // through heldValue/setHeldValue, which follow the binding.
    std::array<int32_t, kHeldValueCount> held{};
    ViewSelection selection{};
    const PixelKernels* pixelKernels{};  // the drawing's kernels, chosen at start
    // The colours of the formats beyond the classic modes: a palette from View > "Palette" (none:
    // the formats' own colours), value v showing colour paletteBase + v.
    bool paletteChosen{};
    Palette palette{};
    int32_t paletteBase{};
    // Where that palette came from, and the format it was put in place for: each format has its
    // own. -1 before the first, and after each load (a palette from the data is read again).
    PaletteChoice paletteChoice{};
    int32_t paletteMode{};
    FormatFiles formats;  // the formats read from files, modes kModeTableSize and on
    // The file the last "Save selection as image..." wrote, beside which F2 numbers its pictures.
    std::string lastSelectionPicture;
};

extern ViewerState viewerState;

// Resets the record to its start values (nothing loaded, zoom 1, width 1,
// Binary, maxWidth 256, jumpRow -1, lastFolder = current folder, the kernels
// PL_PIXEL_KERNEL names or else the fastest) and removes any binding of the
// held values.
void initViewerState();

int heldValue(HeldValue which);
void setHeldValue(HeldValue which, int value);

// The window binds its controls here so that they hold the nine values;
// bindHeldValues(nullptr, nullptr) returns them to the record.
void bindHeldValues(int (*get)(HeldValue), void (*set)(HeldValue, int));

#include "viewer/window/render_view.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "graphics/canvas.h"
#include "graphics/drawing.h"
#include "graphics/images.h"
#include "shell/controls.h"
#include "shell/requesters.h"
#include "shell/window_shell.h"
#include "support/mapped_file.h"
#include "support/text_ops.h"
#include "viewer/engine/row_bar_scale.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/engine/view_block.h"
#include "viewer/window/palette_menu.h"
#include "viewer/window/palette_strip.h"
#include "viewer/window/view_inputs.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

constexpr int kPreviewGrab = 8;
constexpr int kPreviewSize = 128;
constexpr int kNearestNeighbour = 1;
constexpr int kGridStep = 8;
constexpr int kGridMajorStep = 64;
constexpr int32_t kGridMajorColour = 0x00FF00;
constexpr int32_t kGridMinorColour = 0x007F00;
constexpr int32_t kFrameColour = 0xFF00FF;  // magenta: neither the checkerboard nor a palette colour

int canvasMouseX() {
    return getAttribute(kCanvas, kCanvasMouseX);
}
int canvasMouseY() {
    return getAttribute(kCanvas, kCanvasMouseY);
}

bool previewShown() {
    return viewerState.zoom == 1 && heldValue(HeldValue::ZoomPreview) != 0;
}

struct CanvasPoint {
    int x, y;
    bool over;
};

// The live pointer in canvas coordinates, whatever event the render follows. The canvas sits at
// the top-left corner of the client area, so the two coordinates agree.
CanvasPoint pointerOnCanvas() {
    const int x = clientPointerX(kMainWindow);
    const int y = clientPointerY(kMainWindow);
    const bool over = x >= 0 && y >= 0 && x < viewerState.viewWidth && y < viewerState.viewHeight;
    return {x, y, over};
}

// The 8 x 8 pixels two pixels below and right of the pointer, enlarged 16 times into image 2.
void grabPreview(const CanvasPoint& pointer) {
    if (!previewShown() || !pointer.over) return;
    if (copyImageRect(kSheetImage, kPreviewImage, pointer.x + 2, pointer.y + 2, kPreviewGrab, kPreviewGrab)) {
        resizeImage(kPreviewImage, kPreviewSize, kPreviewSize, kNearestNeighbour);
    }
}

// The preview lies under the grid's lines down: they are drawn again over its rows.
void drawPreviewAtPointer(const CanvasPoint& pointer, const std::vector<ColumnLine>& columns) {
    if (!pointer.over) return;
    drawImageUnderColumnLines(imageHandle(kPreviewImage), pointer.x + 1, pointer.y + 1, columns.data(),
                              columns.size());
    freeImage(kPreviewImage);
}

int32_t gridColour(bool major) {
    return major ? kGridMajorColour : kGridMinorColour;
}

// The colour of line g of the grid of byte cells, down or across.
int32_t byteGridColour(int g) {
    return gridColour(g % kGridMajorStep == 0);
}

// The grid's lines down; in the modes of other machines they follow the format's cells.
std::vector<ColumnLine> gridColumns() {
    std::vector<ColumnLine> columns;
    if (!isByteCellMode(viewerState.colourMode, &viewerState.formats.modes)) {
        for (const GridLine& line : cellGridLines(viewerSheetOptions(), true))
            columns.push_back({line.at, gridColour(line.major)});
        return columns;
    }
    for (int g = 0; g <= viewerState.viewWidth; g += kGridStep) columns.push_back({g, byteGridColour(g)});
    return columns;
}

// The grid's lines across, drawn after its lines down. Lines at and beyond the canvas's edges are
// clipped. Line g across follows line g down, so where a line down crosses a line across with a
// smaller g, the line down shows.
void drawGridAcross() {
    const int viewWidth = viewerState.viewWidth, viewHeight = viewerState.viewHeight;
    if (!isByteCellMode(viewerState.colourMode, &viewerState.formats.modes)) {
        for (const GridLine& line : cellGridLines(viewerSheetOptions(), false))
            drawLine(0, line.at, viewWidth, line.at, gridColour(line.major));
        return;
    }
    for (int g = 0; g <= viewHeight; g += kGridStep) drawLine(0, g, viewWidth, g, byteGridColour(g));
    for (int across = 0; across <= viewHeight; across += kGridStep)
        for (int down = across + kGridStep; down <= viewWidth; down += kGridStep)
            if (byteGridColour(down) != byteGridColour(across))
                fillBox(down, across, 1, 1, byteGridColour(down));
}

// The thin frame around the selection, on the canvas only (inside its drawing context).
void drawSelectionFrame() {
    const ViewSelection& made = viewerState.selection;
    if (!made.shown) return;
    const SheetOptions options = viewerSheetOptions();
    const ViewCell topLeft = blockTopLeft(options, made.anchor, made.corner);
    const ByteBlock block = selectedBlock();
    const ViewGeometry g = sheetGeometry(options);
    const int64_t zoom = viewerState.zoom;
    const int64_t x = topLeft.strip * g.stripWidth + topLeft.cellInRow * g.cellWidth;
    const int64_t width = block.bytes / g.cellBytes * g.cellWidth;
    // One pixel outside the selected pixels, so that none of them is covered, but kept on the canvas.
    const int64_t rightEdge = viewerState.viewWidth - 1;
    const int left = static_cast<int>(std::clamp<int64_t>(x * zoom - 1, 0, rightEdge));
    const int right = static_cast<int>(std::clamp<int64_t>((x + width) * zoom, 0, rightEdge));
    const int64_t bottomEdge = viewerState.viewHeight - 1;
    const int top =
        static_cast<int>(std::clamp<int64_t>(topLeft.row * g.unitHeight * zoom - 1, 0, bottomEdge));
    const int bottom = static_cast<int>(
        std::clamp<int64_t>((topLeft.row + block.rows) * g.unitHeight * zoom, 0, bottomEdge));
    fillBox(left, top, right - left + 1, 1, kFrameColour);
    fillBox(left, bottom, right - left + 1, 1, kFrameColour);
    fillBox(left, top, 1, bottom - top + 1, kFrameColour);
    fillBox(right, top, 1, bottom - top + 1, kFrameColour);
}

// The SheetImage onto the canvas, with the preview and the grid that only the canvas shows. The
// grid's lines down are drawn onto each row as it is copied (one pass over a large canvas instead of
// two), and again over the preview, which lies under the grid.
void drawCanvasStage(const CanvasPoint& pointer) {
    if (!beginDrawing(canvasTarget(kCanvas))) {
        showMessage("Canvas", "It happens");
        return;
    }
    const bool grid = heldValue(HeldValue::Grid) != 0;
    const std::vector<ColumnLine> columns = grid ? gridColumns() : std::vector<ColumnLine>{};
    const ImageHandle sheet = imageHandle(kSheetImage);
    drawImageUnderColumnLines(sheet, 0, 0, columns.data(), columns.size());
    const int sheetHeight = sheet != nullptr ? sheet->height : 0;
    if (sheetHeight < viewerState.viewHeight)
        drawColumnLines(columns.data(), columns.size(), sheetHeight, viewerState.viewHeight);
    if (previewShown()) drawPreviewAtPointer(pointer, columns);
    if (grid) drawGridAcross();
    drawSelectionFrame();
    endDrawing();
}

// Before every render: drops a selection whose view has moved or changed its layout, and
// greys the save commands while nothing is selected.
void keepSelectionWithView() {
    if (viewerState.selection.shown && !sameViewAsSelection()) viewerState.selection = ViewSelection{};
    for (const int command : kSelectionCommands)
        setMenuEnabled(kMainMenu, command, viewerState.selection.shown);
}

// A click into the row bar's trough moves a page: the rows the view shows, as the page keys do
// (as near as a scaled bar's positions allow).
void fitRowBarPage() {
    const int64_t rows = rowBarValue(viewRowsShown(viewerSheetOptions()), viewerState.barRows);
    setAttribute(kRowScroll, kScrollPageStep, static_cast<int>(std::clamp<int64_t>(rows, 1, INT32_MAX)));
}

// The offset box keeps a value within its range, also when the range narrows.
void clampOffsetBox(int reach) {
    const int offset = getState(kOffsetSpin);
    const int clamped = std::clamp(offset, -reach, reach);
    if (clamped == offset) return;
    setState(kOffsetSpin, clamped);
    setText(kOffsetSpin, decimalText(clamped));
}

}  // namespace

void setRowScrollRange(int64_t rowBytes) {
    const int64_t row = viewRow();
    viewerState.barRows = viewerState.dataSize / rowBytes;
    setAttribute(kRowScroll, kScrollMaximum, static_cast<int>(std::min(viewerState.barRows, kRowBarLimit)));
    setViewRow(row);
}

int64_t viewRow() {
    // A bar moved by hand (or by a test) no longer shows the row noted: the bar's row counts.
    const int64_t bar = getState(kRowScroll);
    if (bar != rowBarValue(viewerState.rowPosition, viewerState.barRows))
        viewerState.rowPosition = rowOfBarValue(bar, viewerState.barRows);
    return viewerState.rowPosition;
}

void setViewRow(int64_t row) {
    viewerState.rowPosition = std::clamp<int64_t>(row, 0, viewerState.barRows);
    setState(kRowScroll, static_cast<int>(rowBarValue(viewerState.rowPosition, viewerState.barRows)));
}

void followScrollBars() {
    const int width = getState(kWidthScroll);
    viewerState.bytesPerRow = width > 0 ? width : 1;
    const int64_t rowBytes =
        viewRowBytes(viewerState.colourMode, &viewerState.formats.modes, viewerState.bytesPerRow);
    setRowScrollRange(rowBytes);
    // Taken after the new range has clamped the row, so that the view starts where the bar shows.
    viewerState.byteOffset = viewerState.rowPosition * rowBytes;
    fitOffsetBox();
}

void fitOffsetBox() {
    // One view row either way: the width in the four classic modes; in the other modes, whose
    // view row holds many bytes, enough to make any byte the first of the view.
    const auto reach = static_cast<int>(
        viewRowBytes(viewerState.colourMode, &viewerState.formats.modes, viewerState.bytesPerRow));
    setAttribute(kOffsetSpin, kSpinMinimum, -reach);
    setAttribute(kOffsetSpin, kSpinMaximum, reach);
    clampOffsetBox(reach);
}

void applyScroll() {
    followScrollBars();
    renderView();
}

void writePlaceStatus() {
    setStatusText(kStatusBar, 1,
                  placeStatusText(viewerSheetOptions(), viewerData().size, viewerState.loadedFileName,
                                  canvasMouseX(), canvasMouseY()),
                  kStatusNoBorder | kStatusRightAligned);
}

void renderView() {
    keepSelectionWithView();
    keepPaletteWithFormat();
    showPaletteInUse();
    fitRowBarPage();
    followDataFile();
    const uint64_t faults = vanishedPageFaults();
    SheetResult sheet = drawViewerSheet();
    // Bytes that vanished while they were drawn read as zeros: drawn again, past the new end.
    if (vanishedPageFaults() != faults && followDataFile()) sheet = drawViewerSheet();
    viewerState.releasedAround =
        releaseBytesAwayFrom(viewerState.loaded, viewFirstByte(), viewerState.releasedAround);
    if (sheet == SheetResult::NothingLoaded) return;
    if (sheet == SheetResult::CannotDraw) {
        showMessage("image", "It happens");
    } else {
        std::string status =
            statusTextForRender(viewerSheetOptions(), viewerData().size, canvasMouseX(), canvasMouseY());
        if (dataCutShort())
            status += "  File cut short: " + decimalText(viewerState.dataSize) + " bytes left";
        setStatusText(kStatusBar, 0, status, kStatusNoBorder);
        writePlaceStatus();
    }
    const CanvasPoint pointer = pointerOnCanvas();
    grabPreview(pointer);
    drawCanvasStage(pointer);
    setWindowTitle(kMainWindow, viewerState.windowTitle + ",x" + decimalText(viewerState.zoom));
}

#include "viewer/window/navigation.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "graphics/canvas.h"
#include "graphics/drawing.h"
#include "graphics/images.h"
#include "shell/clipboard.h"
#include "shell/controls.h"
#include "shell/event_queue.h"
#include "shell/requesters.h"
#include "shell/window_shell.h"
#include "support/file_services.h"
#include "support/text_ops.h"
#include "viewer/engine/data_buffer.h"
#include "viewer/engine/hex_text.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/pixel_decoding.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/engine/view_block.h"
#include "viewer/window/data_commands.h"
#include "viewer/window/image_export.h"
#include "viewer/window/render_view.h"
#include "viewer/window/view_inputs.h"
#include "viewer/window/view_position.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

constexpr int kSelectionImage = 3;
constexpr int kDragDistance = 3;  // pixels the pointer moves before a press becomes a drag

ViewSelection& selection() {
    return viewerState.selection;
}

// The view at this row position and fine offset, the offset box showing it, rendered.
void showFromByte(int64_t row, int32_t fineOffset) {
    placeView(row, fineOffset);
    renderView();
}

void moveRowsBy(int64_t rows) {
    const int64_t row = viewRow();
    const int64_t target = std::clamp<int64_t>(row + rows, 0, viewerState.barRows);
    if (target == row) return;
    setViewRow(target);
    applyScroll();
}

void goToRowStart(int64_t row) {
    if (viewRow() == row && getState(kOffsetSpin) == 0) return;
    showFromByte(row, 0);
}

std::string selectionStatus() {
    const ByteBlock block = selectedBlock();
    return "Selection: " + decimalText(block.bytes) + " x " + decimalText(block.rows) + " bytes at " +
           decimalText(block.first) + " (" + dollarHexText(block.first) + ")";
}

// The corner follows the pointer; the frame and the status line show it at once.
void showCornerAt(int mouseX, int mouseY) {
    selection().corner = viewCellAt(viewerSheetOptions(), mouseX, mouseY);
    renderView();
    setStatusText(kStatusBar, 0, selectionStatus(), kStatusNoBorder);
}

// A selection that reaches past the data cannot be saved; bytes before it count as 0.
bool selectionInData(const std::string& title) {
    if (!selection().shown) return false;
    if (byteBlockEnd(selectedBlock()) <= viewerState.dataSize) return true;
    showMessage(title, "The selection reaches past the end of the data!");
    return false;
}

// The selection's picture at zoom 1 as image kSelectionImage, to be freed by the caller.
bool drawSelectionPicture(const std::string& title) {
    if (!selectionInData(title)) return false;
    if (drawBlockImage(kSelectionImage, viewerData(), viewerSheetOptions(), selectedBlock(), 1)) return true;
    showMessage(title, "The selection cannot be drawn!");
    return false;
}

// The selection's colour numbers at zoom 1 in `values`, for a PNG that keeps them; nullptr in the
// four classic modes, whose pictures stay in colour.
const IndexedPicture* selectionValues(IndexedPicture& values) {
    return drawBlockValues(viewerData(), viewerSheetOptions(), selectedBlock(), 1, values) ? &values
                                                                                           : nullptr;
}

}  // namespace

void goToOffset() {
    const std::string text = askText("Go to offset", "Enter offset(hex/dec)",
                                     dollarHexText(std::max<int64_t>(viewFirstByte(), 0)));
    if (text.empty()) return;
    int64_t byte = 0;
    if (!parseNumberText(text, 0, INT64_MAX, byte)) {
        reportNotANumber(text);
        return;
    }
    if (byte >= viewerState.dataSize) {
        showMessage("Go to offset", "Offset beyond the end of the data!");
        return;
    }
    // The offset box reaches a whole view row either way, so the byte is always the first.
    const int64_t rowBytes = rowBytesOfWidthBox();
    showFromByte(byte / rowBytes, static_cast<int32_t>(byte % rowBytes));
}

void pollPageKeys() {
    const SheetOptions options = viewerSheetOptions();
    const int64_t page = viewRowsShown(options);
    if (isKeyDown(kKeyPageDown)) moveRowsBy(page);
    if (isKeyDown(kKeyPageUp)) moveRowsBy(-page);
    if (isKeyDown(kKeyHome)) goToRowStart(0);
    // End fills the view: the last byte lies in the last row shown whole.
    if (isKeyDown(kKeyEnd) && viewerState.dataSize > 0)
        goToRowStart(std::max<int64_t>(lastDataRow() - lastWholeViewRow(options), 0));
}

void pressOnView() {
    if (viewerState.dataBuffer == nullptr) return;
    ViewSelection& made = selection();
    made.pressed = true;
    made.dragged = false;
    made.pressX = getAttribute(kCanvas, kCanvasMouseX);
    made.pressY = getAttribute(kCanvas, kCanvasMouseY);
    made.anchor = viewCellAt(viewerSheetOptions(), made.pressX, made.pressY);
}

void dragOnView() {
    ViewSelection& made = selection();
    const int mouseX = getAttribute(kCanvas, kCanvasMouseX);
    const int mouseY = getAttribute(kCanvas, kCanvasMouseY);
    if ((getAttribute(kCanvas, kCanvasButtons) & kCanvasButtonLeft) == 0) made.pressed = false;
    if (!made.pressed || made.anchor.strip >= viewStripsShown(viewerSheetOptions())) return;
    if (!made.dragged) {
        if (std::abs(mouseX - made.pressX) < kDragDistance && std::abs(mouseY - made.pressY) < kDragDistance)
            return;
        made.dragged = true;
        made.shown = true;
        noteSelectionView();
    }
    showCornerAt(mouseX, mouseY);
}

void releaseOnView() {
    ViewSelection& made = selection();
    if (!made.pressed) return;
    made.pressed = false;
    if (made.dragged) {
        showCornerAt(getAttribute(kCanvas, kCanvasMouseX), getAttribute(kCanvas, kCanvasMouseY));
    } else if (made.shown) {
        made.shown = false;  // a plain click
        renderView();
    }
}

bool draggingOnView() {
    return selection().pressed && selection().dragged;
}

void saveSelectionImage() {
    if (!drawSelectionPicture("Save selection")) return;
    IndexedPicture values;
    const std::string saved = exportPicture(kSelectionImage, selectionValues(values));
    if (!saved.empty()) viewerState.lastSelectionPicture = saved;
    freeImage(kSelectionImage);
}

void saveSelectionNumbered() {
    if (viewerState.lastSelectionPicture.empty()) {
        saveSelectionImage();
        return;
    }
    if (!drawSelectionPicture("Save selection")) return;
    IndexedPicture values;
    const std::string saved =
        saveNumberedPicture(kSelectionImage, viewerState.lastSelectionPicture, selectionValues(values));
    freeImage(kSelectionImage);
    if (!saved.empty()) setStatusText(kStatusBar, 0, "Saved " + filePart(saved), kStatusNoBorder);
}

void saveSelectionBinary() {
    if (selectionInData("Save selection")) saveByteBlock(selectedBlock());
}

void copySelectionImage() {
    if (!drawSelectionPicture("Copy selection")) return;
    if (!copyImageToClipboard(imageHandle(kSelectionImage)))
        showMessage("Copy selection", "The picture cannot be put on the clipboard!");
    freeImage(kSelectionImage);
}

void copySelectionHex() {
    if (!selectionInData("Copy selection")) return;
    std::string text;
    if (blockHexText(viewerData(), selectedBlock(), savedByteForm(), text)) {
        copyTextToClipboard(text);
    } else if (followDataFile()) {
        showMessage("Copy selection",
                    "Not copied: the file was cut short since it was opened, and these bytes are gone");
    } else {
        showMessage("Copy selection", "The selection is too large to copy as text!");
    }
}

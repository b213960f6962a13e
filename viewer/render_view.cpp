#include "viewer/render_view.h"

#include "graphics/canvas.h"
#include "graphics/drawing.h"
#include "graphics/images.h"
#include "shell/controls.h"
#include "shell/requesters.h"
#include "shell/window_shell.h"
#include "support/text_ops.h"
#include "viewer/main_window.h"
#include "viewer/navigation.h"
#include "viewer/sheet_render.h"
#include "viewer/viewer_state.h"

namespace {

constexpr int kPreviewGrab = 8;
constexpr int kPreviewSize = 128;
constexpr int kNearestNeighbour = 1;
constexpr int kGridStep = 8;
constexpr int kGridMajorStep = 64;
constexpr int32_t kGridMajorColour = 0x00FF00;
constexpr int32_t kGridMinorColour = 0x007F00;

int canvasMouseX() {
    return getAttribute(kCanvas, 2);
}
int canvasMouseY() {
    return getAttribute(kCanvas, 3);
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
    const bool over = x >= 0 && y >= 0 && x < kViewWidth && y < viewerState.viewHeight;
    return {x, y, over};
}

// The 8 x 8 pixels two pixels below and right of the pointer, enlarged 16 times into image 2.
void grabPreview(const CanvasPoint& pointer) {
    if (!previewShown() || !pointer.over) return;
    if (copyImageRect(kSheetImage, kPreviewImage, pointer.x + 2, pointer.y + 2, kPreviewGrab, kPreviewGrab)) {
        resizeImage(kPreviewImage, kPreviewSize, kPreviewSize, kNearestNeighbour);
    }
}

void drawPreviewAtPointer(const CanvasPoint& pointer) {
    if (!pointer.over) return;
    drawImage(imageHandle(kPreviewImage), pointer.x + 1, pointer.y + 1);
    freeImage(kPreviewImage);
}

void drawGrid() {
    const int viewHeight = viewerState.viewHeight;
    for (int g = 0; g <= kViewWidth; g += kGridStep) {
        const int32_t colour = g % kGridMajorStep == 0 ? kGridMajorColour : kGridMinorColour;
        drawLine(g, 0, g, viewHeight, colour);
        drawLine(0, g, kViewWidth, g, colour);
    }
}

// The SheetImage onto the canvas, with the preview and the grid that only the canvas shows.
void drawCanvasStage(const CanvasPoint& pointer) {
    if (!beginDrawing(canvasTarget(kCanvas))) {
        showMessage("Canvas", "It happens");
        return;
    }
    drawImage(imageHandle(kSheetImage), 0, 0);
    if (previewShown()) drawPreviewAtPointer(pointer);
    if (heldValue(HeldValue::Grid)) drawGrid();
    drawSelectionFrame();
    endDrawing();
}

}  // namespace

void renderView() {
    keepSelectionWithView();
    const SheetResult sheet = drawSheet();
    if (sheet == SheetResult::NothingLoaded) return;
    if (sheet == SheetResult::CannotDraw) {
        showMessage("image", "It happens");
    } else {
        setStatusText(kStatusBar, 0, statusTextForRender(canvasMouseX(), canvasMouseY()), kStatusNoBorder);
    }
    const CanvasPoint pointer = pointerOnCanvas();
    grabPreview(pointer);
    drawCanvasStage(pointer);
    setWindowTitle(kMainWindow, viewerState.windowTitle + ",x" + decimalText(viewerState.zoom));
}

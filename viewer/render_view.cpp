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

// The 8 x 8 pixels two pixels below and right of the mouse, enlarged 16 times into image 2.
void grabPreview() {
    const int mouseX = canvasMouseX();
    const int mouseY = canvasMouseY();
    if (!previewShown() || mouseX < 0 || mouseY < 0) return;
    if (copyImageRect(kSheetImage, kPreviewImage, mouseX + 2, mouseY + 2, kPreviewGrab, kPreviewGrab)) {
        resizeImage(kPreviewImage, kPreviewSize, kPreviewSize, kNearestNeighbour);
    }
}

void drawPreviewAtPointer() {
    const int pointerX = clientPointerX(kMainWindow);
    const int pointerY = clientPointerY(kMainWindow);
    if (pointerX < 0 || pointerY < 0) return;
    drawImage(imageHandle(kPreviewImage), pointerX + 1, pointerY + 1);
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
void drawCanvasStage() {
    if (!beginDrawing(canvasTarget(kCanvas))) {
        showMessage("Canvas", "It happens");
        return;
    }
    drawImage(imageHandle(kSheetImage), 0, 0);
    if (previewShown()) drawPreviewAtPointer();
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
    grabPreview();
    drawCanvasStage();
    setWindowTitle(kMainWindow, viewerState.windowTitle + ",x" + decimalText(viewerState.zoom));
}

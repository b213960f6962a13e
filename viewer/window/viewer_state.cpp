#include "viewer/window/viewer_state.h"

#include <cstdlib>
#include <utility>

#include "support/file_services.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/engine/view_limits.h"

ViewerState viewerState;

namespace {

int (*boundGet)(HeldValue) = nullptr;
void (*boundSet)(HeldValue, int) = nullptr;

int heldSlot(HeldValue which) {
    return static_cast<int>(which);
}

bool isHeldValue(HeldValue which) {
    return heldSlot(which) >= 0 && heldSlot(which) < kHeldValueCount;
}

}  // namespace

void initViewerState() {
    ViewerState fresh;  // every member starts empty or zero
    std::swap(viewerState, fresh);
    viewerState.dataSize = 0;
    viewerState.bytesPerRow = 1;
    viewerState.byteOffset = 0;
    viewerState.windowTitle = "Pixloupe 2d";
    viewerState.zoom = 1;
    viewerState.loadedFileName = "";
    viewerState.lastFolder = currentDirectory();
    viewerState.maxWidth = kMaxBytesPerRow;
    viewerState.stayOnTop = 0;
    viewerState.viewWidth = kViewWidth;
    viewerState.viewHeight = kStartViewHeight;
    viewerState.jumpRow = -1;
    viewerState.colourMode = kModeBinary;
    viewerState.paletteMode = -1;
    viewerState.held.fill(0);
    viewerState.held[heldSlot(HeldValue::Width)] = 1;
    viewerState.pixelKernels = &pixelKernelsAtStart(std::getenv("PL_PIXEL_KERNEL"));
    boundGet = nullptr;
    boundSet = nullptr;
}

int heldValue(HeldValue which) {
    if (!isHeldValue(which)) return 0;
    if (boundGet) return boundGet(which);
    return viewerState.held[heldSlot(which)];
}

void setHeldValue(HeldValue which, int value) {
    if (!isHeldValue(which)) return;
    if (boundSet) {
        boundSet(which, value);
        return;
    }
    viewerState.held[heldSlot(which)] = value;
}

void bindHeldValues(int (*get)(HeldValue), void (*set)(HeldValue, int)) {
    // Half a binding would let reads and writes disagree: both or neither.
    const bool complete = get != nullptr && set != nullptr;
    boundGet = complete ? get : nullptr;
    boundSet = complete ? set : nullptr;
}

#include "viewer/engine/viewer_state.h"

#include "support/file_services.h"
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

void makeTransformTables() {
    for (int c = 0; c < 8; ++c)
        for (int raw = 0; raw < 256; ++raw) {
            uint8_t value = (c & 4) != 0 ? static_cast<uint8_t>(raw ^ 0xFF) : static_cast<uint8_t>(raw);
            if ((c & 2) != 0) value = viewerState.reverseBitsTable[value];
            if ((c & 1) != 0) value = viewerState.swapNibblesTable[value];
            viewerState.transformTables[c][raw] = value;
        }
}

}  // namespace

void initViewerState() {
    viewerState = ViewerState{};
    viewerState.dataSize = 0;
    viewerState.bytesPerRow = 1;
    viewerState.byteOffset = 0;
    viewerState.windowTitle = "Pixloupe 2d";
    viewerState.zoom = 1;
    viewerState.reverseBitsTable.fill(0);
    viewerState.swapNibblesTable.fill(0);
    makeTransformTables();
    viewerState.loadedFileName = "";
    viewerState.lastFolder = currentDirectory();
    viewerState.maxWidth = kMaxBytesPerRow;
    viewerState.stayOnTop = 0;
    viewerState.viewHeight = 512;
    viewerState.jumpRow = -1;
    viewerState.colourMode = kModeBinary;
    viewerState.palette.fill(0);
    viewerState.held.fill(0);
    viewerState.held[heldSlot(HeldValue::Width)] = 1;
    boundGet = nullptr;
    boundSet = nullptr;
}

void buildByteTables() {
    for (int value = 0; value < 256; ++value) {
        viewerState.reverseBitsTable[value] = reverseBits(static_cast<uint8_t>(value));
        viewerState.swapNibblesTable[value] =
            static_cast<uint8_t>(((value & 0x0F) << 4) | ((value & 0xF0) >> 4));
    }
    makeTransformTables();
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

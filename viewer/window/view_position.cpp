#include "viewer/window/view_position.h"

#include <algorithm>

#include "shell/controls.h"
#include "support/text_ops.h"
#include "viewer/engine/mode_table.h"
#include "viewer/window/render_view.h"
#include "viewer/window/view_inputs.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

int64_t rowBytesOfWidthBox() {
    return viewGeometry(viewerState.colourMode, &viewerState.formats.modes,
                        std::max(getState(kWidthScroll), 1), 1, 1)
        .rowBytes;
}

int64_t lastDataRow() {
    return std::max<int64_t>(viewerState.dataSize - 1, 0) / rowBytesOfWidthBox();
}

void placeView(int64_t row, int32_t fineOffset) {
    setViewRow(row);
    setState(kOffsetSpin, fineOffset);
    setText(kOffsetSpin, decimalText(fineOffset));
    followScrollBars();
}

void keepViewInData() {
    if (viewFirstByte() >= viewerState.dataSize) placeView(lastDataRow(), 0);
}

// Where the controls of the main window sit for the view's size: the canvas at the top left, the
// row bar right of it, the width bar below it, the option boxes, the offset box and the palette strip
// below that.
#pragma once

constexpr int kBarThickness = 20;  // the row bar's width, the width bar's and the boxes' height
constexpr int kBelowView = 90;     // the width bar, the boxes and the status bar under the menu bar

// Where a control sits for a view of viewerState.viewWidth x viewHeight.
struct ControlPlace {
    int x, y, width, height;
};
ControlPlace controlPlace(int control);

// The client size, menu bar included, of a window around a view of this size.
int windowWidthForView(int viewWidth);
int windowHeightForView(int viewHeight);

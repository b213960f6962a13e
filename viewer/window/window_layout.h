// The main window's layout for the view's size: where each control sits, the view following the
// window when the user enlarges it (border, maximise, full screen), and the window's place kept
// in the own settings file between runs.
#pragma once

// Where a control of the main window sits for a view of viewerState.viewWidth x viewHeight: the
// canvas at the top left, the row bar right of it, the width bar below it, the option boxes and
// the offset box below that.
struct ControlPlace {
    int x, y, width, height;
};
ControlPlace controlPlace(int control);

// The client size, menu bar included, of a window around a view of this size.
int windowWidthForView(int viewWidth);
int windowHeightForView(int viewHeight);

// Makes the view as large as the window's client area allows (never below 600 x 512), with the
// SheetImage, the canvas and the controls at the new size, and draws it. Bound to the window's
// resizes, so that it runs before the enlarged window is painted.
void fitViewToWindow();

// The canvas black, as at start, until data is drawn.
void fillCanvasBlack();

// Full screen on and off (F11).
void toggleFullScreen();

// The window's size, position and maximised state: put back from the own settings file at
// start (the starting size when the kept one no longer fits the screen), and kept there at a
// normal end.
void restoreWindowPlace();
void keepWindowPlace();

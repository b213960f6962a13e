// The main window at any size: the view following the window when the user enlarges it (border,
// maximise, full screen), and the window's place kept in the own settings file between runs.
#pragma once

#include "viewer/window/control_places.h"

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

// The canvas's child window: shows the backing image of graphics/canvas.h and feeds its
// mouse input to the canvas logic, which posts the control events.
#pragma once

#include "graphics/canvas.h"

// Creates the canvas at (x, y) of the current parent window with a white backing image of
// the same size (at least 1 x 1). Non-zero on
// success; nothing is left behind on failure.
int createCanvas(int number, int x, int y, int width, int height);

// The palette strip right of the offset box: the colours that the format's values 0, 1, 2, ...
// show, left to right, as the view draws them (the palette in use from its base, or the
// format's own colours); its tip names the palette. The status line stays as it is.
#pragma once

#include <string>

// Creates the strip (in the window being built) where controlPlace puts it.
void createPaletteStrip();

// Draws the strip and sets its tip when either changed since the last call.
void showPaletteInUse();

// The strip's tip for the format and palette in use.
std::string paletteStripTip();

// Brings what the user sees up to date with the viewer state: the SheetImage, the status
// line, the canvas with the zoomed preview and the grid, and the window title.
#pragma once

void renderView();

// Takes the width from its bar, sets the row bar's range for it and the data, then takes the row
// position as that range has clamped it; sets the offset box's range and keeps its value inside.
// No render.
void followScrollBars();

// followScrollBars, then renderView.
void applyScroll();

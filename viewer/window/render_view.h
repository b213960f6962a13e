// Brings what the user sees up to date with the viewer state: the SheetImage, the status
// line, the canvas with the zoomed preview and the grid, and the window title.
#pragma once

#include <cstdint>

void renderView();

// The status bar's own second field: the file, and the byte under the canvas pointer.
void writePlaceStatus();

// Takes the width from its bar, sets the row bar's range for it and the data, then takes the row
// position as that range has clamped it; sets the offset box's range and keeps its value inside.
// No render.
void followScrollBars();

// Sets the offset box's range, a view row's bytes either way, for the mode and width, and keeps
// its value inside. No render.
void fitOffsetBox();

// The row bar's range for view rows of `rowBytes` bytes over the data; the row position kept
// within it.
void setRowScrollRange(int64_t rowBytes);

// The row position: the row noted, or the bar's row when the bar has been moved since.
int64_t viewRow();

// Notes the row, kept within the bar's last range, and sets the bar to show it. No render.
void setViewRow(int64_t row);

// followScrollBars, then renderView.
void applyScroll();

// Brings what the user sees up to date with the viewer state: the SheetImage, the status
// line, the canvas with the zoomed preview and the grid, and the window title.
#pragma once

void renderView();

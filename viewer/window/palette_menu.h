// View > "Palette": the built-in palettes, a palette file, the palette stored in the data, and the
// base, for the formats beyond the four classic modes. Each format keeps its own choice, in the
// own settings file, so that switching formats (and the next run) brings it back.
#pragma once

// Adds the "Palette" submenu to the menu being built.
void addPaletteItems();

// Carries out a palette command; false when the command is none of them. The view is drawn again
// by the caller.
bool paletteCommand(int command);

// Before every render: after a switch of format, or a new file, puts that format's remembered
// palette in place (no palette when none is remembered, or its file can no longer be read).
void keepPaletteWithFormat();

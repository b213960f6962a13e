// View > "Palette": the built-in palettes, a palette file, the palette stored in the data, and the
// base, for the formats beyond the four classic modes.
#pragma once

// Adds the "Palette" submenu to the menu being built.
void addPaletteItems();

// Carries out a palette command; false when the command is none of them. The view is drawn again
// by the caller.
bool paletteCommand(int command);

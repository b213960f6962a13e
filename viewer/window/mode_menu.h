// The "Color mode" menu's items: the command of each mode and the one check mark among them.
#pragma once

// The menu command of colour mode `mode`.
int colourModeCommand(int mode);

// Checks the colour-mode item `id` and clears the others.
void markColourMode(int id);

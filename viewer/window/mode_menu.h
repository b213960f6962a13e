// The "Color mode" menu's items: the command of each mode and the one check mark among them;
// the formats that format files add, at start and by "Load format file...".
#pragma once

// The menu command of colour mode `mode`.
int colourModeCommand(int mode);

// Checks the colour-mode item `id` and clears the others.
void markColourMode(int id);

// Adds the shipped and the user's format files to the window's formats; one message lists those
// refused.
void loadStartFormats();

// Asks for a format file and adds its format under "From files": the new mode, or -1 when none
// was added (the message said why).
int loadFormatFileCommand();

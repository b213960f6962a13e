#include "viewer/window/mode_menu.h"

#include "shell/window_shell.h"
#include "viewer/engine/colour_mode.h"
#include "viewer/engine/mode_table.h"
#include "viewer/window/viewer_ids.h"

int colourModeCommand(int mode) {
    return mode < kModeChunky8 ? kCommandBinary + mode : kCommandFirstMachine + mode - kModeChunky8;
}

void markColourMode(int id) {
    for (int mode = 0; mode < kModeTableSize; ++mode)
        setMenuCheck(kMainMenu, colourModeCommand(mode), colourModeCommand(mode) == id);
}

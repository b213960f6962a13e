#include "viewer/window/mode_menu.h"

#include "shell/requesters.h"
#include "shell/window_shell.h"
#include "shipped_formats.h"
#include "support/file_services.h"
#include "viewer/engine/colour_mode.h"
#include "viewer/engine/format_files.h"
#include "viewer/engine/mode_table.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

#include <cstdlib>

int colourModeCommand(int mode) {
    return mode < kModeChunky8 ? kCommandBinary + mode : kCommandFirstMachine + mode - kModeChunky8;
}

void markColourMode(int id) {
    for (int mode = 0; mode < modeCount(&viewerState.formats.modes); ++mode)
        setMenuCheck(kMainMenu, colourModeCommand(mode), colourModeCommand(mode) == id);
}

void loadStartFormats() {
    const std::vector<std::string> folders = formatFolders(programPath(), kBuildFolder, kSourceFormatFolder,
                                                           std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    std::string text;
    for (const std::string& problem : loadFormatFolders(viewerState.formats, folders))
        text += (text.empty() ? "" : "\r\n") + problem;
    if (!text.empty()) showMessage("Format files", text);
}

int loadFormatFileCommand() {
    const std::string name = askOpenFileName("Load format file", viewerState.lastFolder,
                                             "Format files (*.plfmt)|*.plfmt|All files (*.*)|*.*", 0);
    if (name.empty()) return -1;
    viewerState.lastFolder = pathPart(name);
    const FormatLoad load = loadFormatFile(viewerState.formats, name);
    if (load.mode < 0) {
        showMessage("Load format file", load.problem);
        return -1;
    }
    if (rebuildSubmenu(kMainMenu, modeGroupTitle(ModeGroup::Files)))
        for (const int mode : modesInMenuOrder(&viewerState.formats.modes))
            if (modeRow(mode, &viewerState.formats.modes)->record->group == ModeGroup::Files)
                menuItem(colourModeCommand(mode), modeRow(mode, &viewerState.formats.modes)->menuText);
    return load.mode;
}

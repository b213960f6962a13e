// Formats read from format files (.plfmt) join the table of modes: from the shipped folder, the
// user's folder, and files named in the window or on the command line. The program keeps them in a
// FormatFiles record of its own and hands its `modes` to whatever looks a mode up.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/engine/format_text.h"
#include "viewer/engine/mode_table.h"

// A format read from text: what the text says, where it came from, and the colours its record
// points to.
struct FormatFile {
    FormatDescription description;
    std::string source, text;
    std::array<int32_t, 256> colours{};
};

// The formats added from files and their modes, kModeTableSize and on, in the order they came.
// The modes' records point into the files, so the record moves but is never copied.
struct FormatFiles {
    std::deque<FormatFile> files;
    AddedModes modes;

    FormatFiles() = default;
    FormatFiles(FormatFiles&&) = default;
    FormatFiles& operator=(FormatFiles&&) = default;
    FormatFiles(const FormatFiles&) = delete;
    FormatFiles& operator=(const FormatFiles&) = delete;
};

// The mode a file added, or -1 and one message "file:line: what is wrong" (nothing added).
struct FormatLoad {
    int mode = -1;
    std::string problem;
};

// Adds the format that `text` describes; `source` names it in messages and in the format list.
FormatLoad addFormatText(FormatFiles& into, std::string_view text, const std::string& source);

// Reads and adds one format file.
FormatLoad loadFormatFile(FormatFiles& into, const std::string& path);

// Adds every *.plfmt file of the folder, in name order; the messages of those refused. A folder
// that does not exist adds nothing and says nothing.
std::vector<std::string> loadFormatFolder(FormatFiles& into, const std::string& folder);

// The folders whose files are read at start, in order: the shipped formats, then the user's
// ($XDG_DATA_HOME/pixloupe2d/formats, $HOME/.local/share/pixloupe2d/formats without it). The
// shipped folder is share/pixloupe2d/formats beside the program's folder, or `sourceFolder`
// when the program (at `programPath`) lies under its build folder `buildFolder`.
std::vector<std::string> formatFolders(const std::string& programPath, const std::string& buildFolder,
                                       const std::string& sourceFolder, const char* xdgDataHome,
                                       const char* home);

// Adds the files of every folder in turn; the messages of those refused.
std::vector<std::string> loadFormatFolders(FormatFiles& into, const std::vector<std::string>& folders);

// Where a mode comes from: "built in", or the path of its format file.
std::string modeSource(const FormatFiles& formats, int mode);

// A mode's description: its file's text, or the lines of the built-in record.
std::string modeDescription(const FormatFiles& formats, int mode);

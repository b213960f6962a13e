// Formats read from format files (.plfmt) join the table of modes for the rest of the run:
// from the shipped folder, the user's folder, and files named in the window or on the command line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The mode a file added, or -1 and one message "file:line: what is wrong" (nothing added).
struct FormatLoad {
    int mode = -1;
    std::string problem;
};

// Adds the format that `text` describes; `source` names it in messages and in the format list.
FormatLoad addFormatText(std::string_view text, const std::string& source);

// Drops every format added from text (for the fuzz target, which adds one per input).
void dropAddedFormats();

// Reads and adds one format file.
FormatLoad loadFormatFile(const std::string& path);

// Adds every *.plfmt file of the folder, in name order; the messages of those refused. A folder
// that does not exist adds nothing and says nothing.
std::vector<std::string> loadFormatFolder(const std::string& folder);

// The folders whose files are read at start, in order: the shipped formats, then the user's
// ($XDG_DATA_HOME/pixloupe2d/formats, $HOME/.local/share/pixloupe2d/formats without it). The
// shipped folder is share/pixloupe2d/formats beside the program's folder, or `sourceFolder`
// when the program (at `programPath`) lies under its build folder `buildFolder`.
std::vector<std::string> formatFolders(const std::string& programPath, const std::string& buildFolder,
                                       const std::string& sourceFolder, const char* xdgDataHome,
                                       const char* home);

// Adds the files of every folder in turn; the messages of those refused.
std::vector<std::string> loadFormatFolders(const std::vector<std::string>& folders);

// Where a mode comes from: "built in", or the path of its format file.
std::string modeSource(int mode);

// A mode's description: its file's text, or the lines of the built-in record.
std::string modeDescription(int mode);

#include "viewer/engine/format_files.h"

#include <algorithm>
#include <array>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "viewer/engine/format_text.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/palettes.h"

namespace {

// A format file is a few hundred bytes; anything far larger is no format file.
constexpr std::streamsize kLargestFormatFile = 64 * 1024;

const FormatFile* formatFile(const FormatFiles& formats, int mode) {
    const int index = mode - kModeTableSize;
    return index >= 0 && index < static_cast<int>(formats.files.size()) ? &formats.files[index] : nullptr;
}

// The bits of the value under the mask, packed down, scaled to 0..255.
int32_t channelLevel(uint32_t value, uint32_t mask) {
    uint32_t level = 0;
    int at = 0;
    for (int bit = 0; bit < 32; ++bit) {
        if (((mask >> bit) & 1) == 0) continue;
        level |= ((value >> bit) & 1) << at++;
    }
    const uint64_t top = (uint64_t{1} << at) - 1;
    return static_cast<int32_t>(255 * uint64_t{level} / top);
}

std::string lineProblem(const std::string& source, int line, const std::string& what) {
    return source + ":" + std::to_string(line) + ": " + what;
}

// What keeps a description from being drawn, on its line; an empty text when nothing does.
std::string drawProblem(const FormatDescription& d, int& line) {
    line = d.coloursLine;
    Palette palette;
    if (d.colours == FormatColours::Palette && d.palette != "grey" && !builtInPalette(d.palette, palette))
        return "unknown palette \"" + d.palette + "\"";
    line = d.bitsLine;
    if (d.bits > kMaxModeBits) return "values over 8 bits are not drawn yet";
    return "";
}

}  // namespace

FormatLoad addFormatText(FormatFiles& into, std::string_view text, const std::string& source) {
    FormatLoad load;
    const FormatParse parse = parseFormatText(text);
    if (!parse.ok) {
        load.problem = lineProblem(source, parse.line, parse.problem);
        return load;
    }
    const FormatDescription& d = parse.format;
    const int taken = modeByCliName(d.id.c_str(), &into.modes);
    if (taken >= 0) {
        load.problem = lineProblem(source, 1, "id \"" + d.id + "\" is taken by " + modeSource(into, taken));
        return load;
    }
    int line = 1;
    const std::string problem = drawProblem(d, line);
    if (!problem.empty()) {
        load.problem = lineProblem(source, line, problem);
        return load;
    }
    into.files.push_back({d, source, std::string(text), {}});
    FormatFile& added = into.files.back();
    ModeRecord& record = added.description.record;
    record.menuText = added.description.name.c_str();
    record.cliName = added.description.id.c_str();
    record.group = ModeGroup::Files;
    record.id = modeCount(&into.modes);
    if (d.colours == FormatColours::Direct) {
        const uint32_t* masks = d.channelMasks;
        for (uint32_t v = 0; v < (1u << record.bits); ++v)
            added.colours[v] =
                channelLevel(v, masks[0]) | channelLevel(v, masks[1]) << 8 | channelLevel(v, masks[2]) << 16;
        record.colours = added.colours.data();
    }
    Palette palette;
    if (d.colours == FormatColours::Palette && builtInPalette(d.palette, palette)) {
        for (int v = 0; v < (1 << record.bits); ++v) added.colours[v] = paletteColour(palette, 0, v);
        record.colours = added.colours.data();
    }
    load.mode = appendMode(into.modes, record);
    if (load.mode < 0) {
        into.files.pop_back();
        load.problem = source + ": more than " + std::to_string(kMostAddedModes) + " formats from files";
    }
    return load;
}

FormatLoad loadFormatFile(FormatFiles& into, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    if (in) {
        text.resize(kLargestFormatFile + 1);
        in.read(text.data(), kLargestFormatFile + 1);
        text.resize(static_cast<size_t>(in.gcount()));
    }
    if (!in && !in.eof()) return {-1, path + ": cannot read the file"};
    if (static_cast<std::streamsize>(text.size()) > kLargestFormatFile)
        return {-1, path + ": too large for a format file"};
    return addFormatText(into, text, path);
}

std::vector<std::string> loadFormatFolder(FormatFiles& into, const std::string& folder) {
    std::vector<std::string> names, problems;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->path().extension() == ".plfmt" && entry->is_regular_file(error))
            names.push_back(entry->path().string());
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const FormatLoad load = loadFormatFile(into, name);
        if (load.mode < 0) problems.push_back(load.problem);
    }
    return problems;
}

std::vector<std::string> loadFormatFolders(FormatFiles& into, const std::vector<std::string>& folders) {
    std::vector<std::string> problems;
    for (const std::string& folder : folders) {
        const std::vector<std::string> more = loadFormatFolder(into, folder);
        problems.insert(problems.end(), more.begin(), more.end());
    }
    return problems;
}

std::vector<std::string> formatFolders(const std::string& programPath, const std::string& buildFolder,
                                       const std::string& sourceFolder, const char* xdgDataHome,
                                       const char* home) {
    std::vector<std::string> folders;
    const std::filesystem::path program(programPath);
    const std::string build =
        buildFolder.empty() || buildFolder.back() == '/' ? buildFolder : buildFolder + "/";
    if (!build.empty() && programPath.compare(0, build.size(), build) == 0) {
        folders.push_back(sourceFolder);
    } else if (!programPath.empty()) {
        folders.push_back((program.parent_path().parent_path() / "share/pixloupe2d/formats").string());
    }
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/') {
        folders.push_back(std::string(xdgDataHome) + "/pixloupe2d/formats");
    } else if (home != nullptr && home[0] != '\0') {
        folders.push_back(std::string(home) + "/.local/share/pixloupe2d/formats");
    }
    return folders;
}

std::string modeSource(const FormatFiles& formats, int mode) {
    const FormatFile* added = formatFile(formats, mode);
    return added != nullptr ? added->source : "built in";
}

std::string modeDescription(const FormatFiles& formats, int mode) {
    const FormatFile* added = formatFile(formats, mode);
    if (added != nullptr) return added->text;
    const ModeRow* row = modeRow(mode, nullptr);
    return row != nullptr ? formatText(*row->record) : "";
}

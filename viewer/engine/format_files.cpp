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

std::string lineProblem(const std::string& source, int line, const std::string& what) {
    return source + ":" + std::to_string(line) + ": " + what;
}

// What keeps a description from being drawn, on its line; an empty text when nothing does.
std::string drawProblem(const FormatDescription& d, int& line) {
    line = d.coloursLine;
    Palette palette;
    if (d.colours == FormatColours::Palette && d.palette != "grey" && !builtInPalette(d.palette, palette))
        return "unknown palette \"" + d.palette + "\"";
    return "";
}

// The record's colours: values of up to 8 bits index a table of 2^bits colours (none: grey
// levels); wider values pick their channels by masks (grey: one mask for all three) or index the
// palette's colours.
void setColours(FormatFile& added, const Palette& palette) {
    const FormatDescription& d = added.description;
    ModeRecord& record = added.description.record;
    record.directColours = d.colours == FormatColours::Direct;
    const bool wide = d.bits > kMaxModeBits;
    const uint32_t all = static_cast<uint32_t>((uint64_t{1} << d.bits) - 1);
    for (int c = 0; c < 3; ++c) record.channelMasks[c] = record.directColours ? d.channelMasks[c] : all;
    if (d.colours == FormatColours::Palette && !palette.colours.empty()) {
        const int count = wide ? static_cast<int>(palette.colours.size()) : 1 << d.bits;
        for (int v = 0; v < count; ++v) added.colours[v] = paletteColour(palette, 0, v);
        record.colours = added.colours.data();
        record.colourCount = count;
    } else if (record.directColours && !wide) {
        for (uint32_t v = 0; v < (1u << d.bits); ++v) added.colours[v] = wideValueColour(record, v);
        record.colours = added.colours.data();
    }
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
    Palette palette;
    if (d.colours == FormatColours::Palette) builtInPalette(d.palette, palette);
    into.files.push_back({d, source, std::string(text), {}});
    FormatFile& added = into.files.back();
    ModeRecord& record = added.description.record;
    record.menuText = added.description.name.c_str();
    record.cliName = added.description.id.c_str();
    record.group = ModeGroup::Files;
    record.id = modeCount(&into.modes);
    setColours(added, palette);
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

#include "support/user_settings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "support/safe_file.h"

namespace {

constexpr long kLargestSettingsFile = 16L << 20;

std::string escapedValue(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string unescapedValue(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

bool isAbsolute(const char* folder) {
    return folder != nullptr && folder[0] == '/';
}

// Every folder of the path up to its last "/", made for the user alone where missing.
bool makeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace

std::string userSettingsPath(const char* xdgConfigHome, const char* home) {
    if (isAbsolute(xdgConfigHome)) return std::string(xdgConfigHome) + "/pixloupe2d/settings";
    if (isAbsolute(home)) return std::string(home) + "/.config/pixloupe2d/settings";
    return "";
}

UserSettings parseUserSettings(std::string_view text) {
    UserSettings settings;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos || line.starts_with('#')) continue;
        settings.lines.emplace_back(std::string(line.substr(0, equals)),
                                    unescapedValue(line.substr(equals + 1)));
    }
    return settings;
}

std::string userSettingsText(const UserSettings& settings) {
    std::string text = "# pixloupe2d settings\n";
    for (const auto& [key, value] : settings.lines) text += key + "=" + escapedValue(value) + "\n";
    return text;
}

UserSettings readUserSettings(const std::string& path) {
    std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
    if (file == nullptr) return {};
    std::string text;
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 &&
           text.size() + got <= static_cast<size_t>(kLargestSettingsFile))
        text.append(chunk, got);
    const bool whole = std::feof(file) && !std::ferror(file);
    std::fclose(file);
    return whole ? parseUserSettings(text) : UserSettings{};
}

bool writeUserSettings(const std::string& path, const UserSettings& settings) {
    if (path.empty() || !makeFolders(path)) return false;
    SafeFile* file = beginSafeFile(path);
    const std::string text = userSettingsText(settings);
    if (!safeWrite(file, text.data(), text.size())) {
        discardSafeFile(file);
        return false;
    }
    return commitSafeFile(file) == 1;
}

std::string userSetting(const UserSettings& settings, const std::string& key) {
    for (const auto& [name, value] : settings.lines)
        if (name == key) return value;
    return "";
}

void setUserSetting(UserSettings& settings, const std::string& key, const std::string& value) {
    auto& lines = settings.lines;
    auto first =
        std::find_if(lines.begin(), lines.end(), [&](const auto& line) { return line.first == key; });
    if (first == lines.end()) {
        lines.emplace_back(key, value);
        return;
    }
    first->second = value;
    lines.erase(std::remove_if(first + 1, lines.end(), [&](const auto& line) { return line.first == key; }),
                lines.end());
}

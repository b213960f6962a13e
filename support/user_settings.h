// The program's own settings, kept apart from pl2.ini: one plain text file in the user's
// configuration folder, a "key=value" line per setting in file order. A key may stand on
// several lines (one bookmark a line). Values may hold any byte; the file stores "\", new
// lines and carriage returns as "\\", "\n" and "\r".
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct UserSettings {
    std::vector<std::pair<std::string, std::string>> lines;
};

// $XDG_CONFIG_HOME/pixloupe2d/settings, or $HOME/.config/pixloupe2d/settings when the first is
// unset, empty or not absolute; empty when neither gives an absolute folder.
std::string userSettingsPath(const char* xdgConfigHome, const char* home);

// Lines without "=" and lines starting with "#" are skipped.
UserSettings parseUserSettings(std::string_view text);
std::string userSettingsText(const UserSettings& settings);

// Empty settings when the file is missing, unreadable or unreasonably large.
UserSettings readUserSettings(const std::string& path);

// Creates the folder (for the user only) when needed and replaces the file whole, never
// leaving it half written. False when it could not be written.
bool writeUserSettings(const std::string& path, const UserSettings& settings);

// The value of the key's first line; "" when there is none.
std::string userSetting(const UserSettings& settings, const std::string& key);

// The key's first line takes the value and its other lines go; a new key is appended.
void setUserSetting(UserSettings& settings, const std::string& key, const std::string& value);

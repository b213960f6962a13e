#include "viewer/window/own_settings.h"

#include <cstdlib>

#include "shell/requesters.h"

std::string ownSettingsPath() {
    return userSettingsPath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

UserSettings readOwnSettings() {
    return readUserSettings(ownSettingsPath());
}

bool writeOwnSettings(const UserSettings& settings) {
    const std::string path = ownSettingsPath();
    if (writeUserSettings(path, settings)) return true;
    showMessage("Settings",
                "Cannot write the settings file\r\n" + (path.empty() ? "(no HOME folder)" : path));
    return false;
}

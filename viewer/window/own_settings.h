// The program's own settings file (not pl2.ini): read afresh before each change and written
// back at once, so that two viewers running side by side keep each other's changes.
#pragma once

#include <string>

#include "support/user_settings.h"

// Where the file lies, from the environment.
std::string ownSettingsPath();

UserSettings readOwnSettings();

// False, after a message that names the file, when it could not be written.
bool writeOwnSettings(const UserSettings& settings);

// The settings store: one line-oriented settings file held in memory, read by group and
// key, changed in memory and written back whole when closed. There is one store per
// process; opening or creating a file first closes the store that is open.
//
// Writing is commit-or-discard: closeSettings writes the new contents to a temporary file
// beside the settings file and renames it into place, so the settings file on disk is
// always either the old one or the complete new one.
#pragma once

#include <cstdint>
#include <string>

// Reads the file into the store: nonzero when it was opened (also when it is empty), 0 when
// it could not be. After a 0 the store still remembers the name: reads give their defaults
// and writes are collected for closeSettings to create the file with.
int openSettings(const std::string& fileName);

// Starts an empty store that closeSettings will write to the file (an empty file when
// nothing is written into it): nonzero when the file can be written, 0 when not; after a 0
// no store is open. The file on disk is not touched before closeSettings.
int createSettings(const std::string& fileName);

// Makes the group of that name (letter case ignored) current: 1 when it exists or when the
// name is empty (the lines before the first group), 0 when it does not exist (it is then
// created by the next write) or when no store is open.
int selectSettingsGroup(const std::string& name);

// The number under the key in the current group, read like a decimal integer (leading white
// space, optional sign, digits up to the first other byte; 0 when there are none; values
// beyond 32 bits saturate). The default when the key is absent, the selected group does not
// exist or no store is open.
int32_t readSettingsNumber(const std::string& key, int32_t defaultValue);

// Stores the number under the key in the current group, replacing the first line of that
// key or adding one at the end of the group.
void writeSettingsNumber(const std::string& key, int32_t value);

// Writes the file when the store was changed or created, then empties the store. 1 when
// written or when there was nothing to write; 0 when the changes could not be written (a
// read-only file, a folder or file that refuses writing, a failed write), in which case the
// file on disk is left as it was.
int closeSettings();

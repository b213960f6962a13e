// Shared by the fuzz targets: a failed check stops the run, and a private temporary folder
// for the whole run is removed at exit.
#pragma once

#include <string>

#include "tests/support/temp_folder.h"

inline void check(bool condition) {
    if (!condition) __builtin_trap();
}

inline const std::string& fuzzRunFolder() {
    static const TempFolder folder;
    if (folder.path().empty()) abort();
    return folder.path();
}

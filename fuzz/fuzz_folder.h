// A private temporary folder for the whole fuzzing run, removed at exit.
#pragma once

#include <string>

#include "tests/support/temp_folder.h"

namespace fuzzing {

inline const std::string& runFolder() {
    static const TempFolder folder;
    if (folder.path().empty()) abort();
    return folder.path();
}

}  // namespace fuzzing

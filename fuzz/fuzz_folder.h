// A private temporary folder for the whole fuzzing run, emptied and removed at exit.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace fuzzing {

inline void removeTree(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return;
    if (!S_ISDIR(info.st_mode)) {
        unlink(path.c_str());
        return;
    }
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") removeTree(path + "/" + name);
        }
        closedir(dir);
    }
    rmdir(path.c_str());
}

inline const std::string& runFolder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/pl_fuzz_XXXXXX";
        if (mkdtemp(pattern) == nullptr) abort();
        return std::string(pattern);
    }();
    static const bool cleanupRegistered = atexit([] { removeTree(runFolder()); }) == 0;
    (void)cleanupRegistered;
    return folder;
}

}  // namespace fuzzing

// A fresh folder under the system's temporary directory, removed with everything in it when
// the test ends, and small helpers to put files there and look at them. Also used by the fuzz
// targets.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

// Names of everything in the folder (without "." and ".."), sorted.
inline std::set<std::string> folderEntries(const std::string& path) {
    std::set<std::string> names;
    DIR* dir = opendir(path.c_str());
    for (dirent* entry; dir != nullptr && (entry = readdir(dir)) != nullptr;)
        if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
            names.insert(entry->d_name);
    if (dir != nullptr) closedir(dir);
    return names;
}

// Removes the file, link or folder with everything in it; nothing when it does not exist.
inline void removeTree(const std::string& path) {
    struct stat info;
    if (path.empty() || lstat(path.c_str(), &info) != 0) return;
    if (!S_ISDIR(info.st_mode)) {
        unlink(path.c_str());
        return;
    }
    chmod(path.c_str(), 0700);
    for (const std::string& name : folderEntries(path)) removeTree(path + "/" + name);
    rmdir(path.c_str());
}

class TempFolder {
   public:
    TempFolder() {
        char pattern[] = "/tmp/pl_support_XXXXXX";
        path_ = mkdtemp(pattern) != nullptr ? pattern : "";
    }
    ~TempFolder() { removeTree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::set<std::string> entries() const { return folderEntries(path_); }

   private:
    std::string path_;
};

inline void writeWholeFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string readWholeFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// `count` bytes of a pattern that repeats only after 65536 bytes, from its byte `from` on.
inline std::string patternBytes(size_t from, size_t count) {
    std::string bytes;
    for (size_t i = from; i < from + count; ++i) bytes += static_cast<char>(i * 31 + i / 256);
    return bytes;
}

inline bool fileExists(const std::string& name) {
    struct stat info;
    return lstat(name.c_str(), &info) == 0;
}

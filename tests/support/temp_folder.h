// A fresh temporary folder, removed with everything in it at the end, and helpers for its files.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace fs = std::filesystem;

// Names of everything in the folder (without "." and ".."), sorted.
inline std::set<std::string> folderEntries(const std::string& path) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(path, error)) names.insert(entry.path().filename());
    return names;
}

// Removes the file, link or folder with everything in it, locked folders too.
inline void removeTree(const std::string& path) {
    std::error_code error;
    if (fs::is_directory(fs::symlink_status(path, error))) {
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, error);
        for (const std::string& name : folderEntries(path)) removeTree(path + "/" + name);
    }
    fs::remove_all(path, error);
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

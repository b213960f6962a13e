#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "fuzz/fuzz_folder.h"
#include "support/file_services.h"

static const std::string& populatedFolder() {
    static const std::string folder = [] {
        std::string path = fuzzRunFolder();
        std::ofstream(path + "/file") << "abc";
        mkdir((path + "/dir").c_str(), 0755);
        symlink("file", (path + "/link").c_str());
        symlink("loop", (path + "/loop").c_str());
        return path;
    }();
    return folder;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string name(reinterpret_cast<const char*>(data), size);

    std::string path = pathPart(name);
    std::string file = filePart(name);
    check(path.empty() || path.back() == '/');
    check(file.find('/') == std::string::npos);
    if (name.find_first_of("\"|") == std::string::npos) check(path + file == name);

    int64_t bytes = fileSize(populatedFolder() + "/" + name);
    check(bytes >= -2);
    if (name == "file" || name == "link") check(bytes == 3);
    if (name == "dir" || name == "dir/") check(bytes == -2);
    return 0;
}

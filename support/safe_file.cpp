#include "support/safe_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>
#include <vector>

#include "support/io_seam.h"

struct SafeFile {
    int fd = -1;
    bool failed = false;
    std::string tempName;
    std::string targetName;
};

namespace {

// Room left in a file name for the "." prefix and the ".XXXXXX" of mkstemp.
constexpr size_t kLongestTempStem = NAME_MAX - 8;

// The file a write to `name` should replace: the end of a chain of symbolic links when the
// name is one and its target exists, else the name itself.
std::string resolveTarget(const std::string& name) {
    struct stat linkInfo;
    if (lstat(name.c_str(), &linkInfo) != 0 || !S_ISLNK(linkInfo.st_mode)) return name;
    char* resolved = realpath(name.c_str(), nullptr);
    if (resolved == nullptr) return name;
    std::string target(resolved);
    free(resolved);
    return target;
}

// A file without any write permission bit counts as read-only even for a user, such as
// root, whom the system would let write it anyway.
bool isWritableFile(const std::string& name, const struct stat& info) {
    return (info.st_mode & 0222) != 0 && access(name.c_str(), W_OK) == 0;
}

mode_t currentUmask() {
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

}  // namespace

SafeFile* beginSafeFile(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) return nullptr;
    std::string target = resolveTarget(name);

    mode_t mode = 0666 & ~currentUmask();
    struct stat info;
    bool replacing = stat(target.c_str(), &info) == 0;
    if (replacing) {
        if (!S_ISREG(info.st_mode) || !isWritableFile(target, info)) return nullptr;
        mode = info.st_mode & 07777;
    } else if (errno != ENOENT) {
        return nullptr;
    }

    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty()) return nullptr;
    if (folder.empty()) folder = "/";
    if (folder.back() != '/') folder += '/';

    std::string pattern = folder + "." + base.substr(0, kLongestTempStem) + ".XXXXXX";
    std::vector<char> tempName(pattern.begin(), pattern.end());
    tempName.push_back('\0');
    int fd = mkstemp(tempName.data());
    if (fd < 0) return nullptr;
    // Keep the owner of a replaced file where the system allows it (root may, others only
    // their own; else the file belongs to its writer), before the mode, since a change of
    // owner clears set-id bits.
    [[maybe_unused]] int ownerKept = replacing ? fchown(fd, info.st_uid, info.st_gid) : 0;
    if (fchmod(fd, mode) != 0) {
        close(fd);
        unlink(tempName.data());
        return nullptr;
    }

    SafeFile* f = new (std::nothrow) SafeFile;
    if (f == nullptr) {
        close(fd);
        unlink(tempName.data());
        return nullptr;
    }
    f->fd = fd;
    f->tempName = tempName.data();
    f->targetName = target;
    return f;
}

int safeWrite(SafeFile* f, const void* bytes, size_t n) {
    if (f == nullptr) return 0;
    const char* next = static_cast<const char*>(bytes);
    while (!f->failed && n > 0) {
        ssize_t written = seamWrite(f->fd, next, n);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            f->failed = true;
            break;
        }
        next += written;
        n -= static_cast<size_t>(written);
    }
    return f->failed ? 0 : 1;
}

int safeFileDescriptor(const SafeFile* f) {
    return f == nullptr ? -1 : f->fd;
}

int commitSafeFile(SafeFile* f) {
    if (f == nullptr) return 0;
    bool ok = !f->failed;
    if (close(f->fd) != 0) ok = false;
    if (ok && seamRename(f->tempName.c_str(), f->targetName.c_str()) != 0) ok = false;
    if (!ok) unlink(f->tempName.c_str());
    delete f;
    return ok ? 1 : 0;
}

void discardSafeFile(SafeFile* f) {
    if (f == nullptr) return;
    close(f->fd);
    unlink(f->tempName.c_str());
    delete f;
}

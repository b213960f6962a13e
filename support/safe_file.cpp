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

namespace {

enum class Target {
    Renamed,  // a temporary file renamed onto the name at the commit
    InPlace,  // the file itself, cut to its new length at the commit
    Stream,   // an open stream, written straight
};

}  // namespace

struct SafeFile {
    int fd = -1;
    bool failed = false;
    Target target = Target::Renamed;
    std::string tempName;
    std::string targetName;
};

namespace {

bool streamTargets = false;

// Room left in a file name for the "." prefix and the ".XXXXXX" of mkstemp.
constexpr size_t kLongestTempStem = NAME_MAX - 8;

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

int openRetrying(const std::string& name, int flags) {
    int fd;
    do {
        fd = open(name.c_str(), flags | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

SafeFile* newSafeFile(int fd, Target target, const std::string& targetName,
                      const std::string& tempName = "") {
    SafeFile* f = new (std::nothrow) SafeFile;
    if (f == nullptr) {
        close(fd);
        if (!tempName.empty()) unlink(tempName.c_str());
        return nullptr;
    }
    f->fd = fd;
    f->target = target;
    f->tempName = tempName;
    f->targetName = targetName;
    return f;
}

// The existing writable regular file itself, opened without creating or emptying it, for
// reading and writing where it allows that; -1 otherwise. Non-blocking while it is checked,
// so that a pipe without a reader is refused rather than waited for.
int openInPlace(const std::string& name, int extraFlags) {
    int fd = openRetrying(name, O_RDWR | O_NONBLOCK | extraFlags);
    if (fd < 0 && errno == EACCES) fd = openRetrying(name, O_WRONLY | O_NONBLOCK | extraFlags);
    if (fd < 0) return -1;
    struct stat info;
    int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (info.st_mode & 0222) == 0 || flags < 0 ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

SafeFile* beginInPlace(const std::string& name, int extraFlags) {
    int fd = openInPlace(name, extraFlags);
    return fd < 0 ? nullptr : newSafeFile(fd, Target::InPlace, name);
}

// A link is followed only by the kernel's own open, which refuses what its link protection
// refuses; a link someone else planted is refused here as well, wherever it lies.
SafeFile* beginThroughLink(const std::string& name, const struct stat& linkInfo) {
    if (linkInfo.st_uid != geteuid()) return nullptr;
    return beginInPlace(name, 0);
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A descriptor of its own for standard output, sharing its position and append mode; -2 when
// there is none.
int standardOutput() {
    int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    return fd >= 0 ? fd : -2;
}

// With stream targets on: the stream that the name stands for, or -1 when it is none (then
// the name is written as a file). A name that cannot be opened as the stream it names gives
// -2.
int openStreamTarget(const std::string& name) {
    if (name == "-") return standardOutput();
    struct stat linkInfo, info, output;
    if (lstat(name.c_str(), &linkInfo) != 0 || S_ISREG(linkInfo.st_mode) || S_ISDIR(linkInfo.st_mode) ||
        stat(name.c_str(), &info) != 0) {
        return -1;
    }
    // Opening /dev/stdout anew would start at the file's beginning and drop an append mode:
    // the open descriptor is written instead.
    if (fstat(STDOUT_FILENO, &output) == 0 && sameFile(info, output)) return standardOutput();
    if (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) return -1;
    int fd = openRetrying(name, O_WRONLY);
    if (fd < 0) return -2;
    if (fstat(fd, &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) {
        close(fd);
        return -2;
    }
    return fd;
}

std::string folderOf(const std::string& name) {
    size_t slash = name.rfind('/');
    if (slash == std::string::npos) return "./";
    return name.substr(0, slash + 1);
}

// A new temporary file beside the name with the given mode (and owner, where the system
// allows it); the descriptor, or -1 with nothing left behind.
int makeTemporaryFile(const std::string& name, mode_t mode, const struct stat* replaced,
                      std::string& tempName) {
    const std::string base = name.substr(name.rfind('/') + 1);
    std::string pattern = folderOf(name) + "." + base.substr(0, kLongestTempStem) + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = mkstemp(buffer.data());
    if (fd < 0) return -1;
    tempName = buffer.data();
    // Keep the owner of a replaced file where the system allows it (root may, others only
    // their own; else the file belongs to its writer), before the mode, since a change of
    // owner clears set-id bits.
    [[maybe_unused]] int ownerKept = replaced != nullptr ? fchown(fd, replaced->st_uid, replaced->st_gid) : 0;
    if (fchmod(fd, mode) != 0) {
        close(fd);
        unlink(tempName.c_str());
        return -1;
    }
    return fd;
}

}  // namespace

void setStreamTargets(bool on) {
    streamTargets = on;
}

SafeFile* beginSafeFile(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) return nullptr;
    if (streamTargets) {
        int stream = openStreamTarget(name);
        if (stream >= 0) return newSafeFile(stream, Target::Stream, name);
        if (stream == -2) return nullptr;
    }
    if (name.back() == '/') return nullptr;

    struct stat info;
    const bool replacing = lstat(name.c_str(), &info) == 0;
    if (!replacing && errno != ENOENT) return nullptr;
    if (replacing && S_ISLNK(info.st_mode)) return beginThroughLink(name, info);
    if (replacing && (!S_ISREG(info.st_mode) || !isWritableFile(name, info))) return nullptr;

    const mode_t mode = replacing ? info.st_mode & 07777 : 0666 & ~currentUmask();
    std::string tempName;
    int fd = makeTemporaryFile(name, mode, replacing ? &info : nullptr, tempName);
    if (fd >= 0) return newSafeFile(fd, Target::Renamed, name, tempName);
    // A folder that takes no new file may still let its existing file be rewritten.
    return replacing ? beginInPlace(name, O_NOFOLLOW) : nullptr;
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
    if (ok && f->target == Target::InPlace) {
        const off_t end = lseek(f->fd, 0, SEEK_CUR);
        ok = end >= 0 && ftruncate(f->fd, end) == 0;
    }
    if (close(f->fd) != 0) ok = false;
    if (f->target == Target::Renamed) {
        if (ok && seamRename(f->tempName.c_str(), f->targetName.c_str()) != 0) ok = false;
        if (!ok) unlink(f->tempName.c_str());
    }
    delete f;
    return ok ? 1 : 0;
}

void discardSafeFile(SafeFile* f) {
    if (f == nullptr) return;
    close(f->fd);
    if (f->target == Target::Renamed) unlink(f->tempName.c_str());
    delete f;
}

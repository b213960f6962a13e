#include "support/io_seam.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

int64_t writeLimit = -1;    // bytes still allowed after the last setWriteFailureAfter; -1 = no limit
size_t shortWriteSize = 0;  // 0 = whole writes
bool renameFails = false;

}  // namespace

void setWriteFailureAfter(int64_t bytes) {
    writeLimit = bytes < 0 ? -1 : bytes;
}

void setShortWrites(size_t most) {
    shortWriteSize = most;
}

void setRenameFailure(bool fail) {
    renameFails = fail;
}

ssize_t seamWrite(int fd, const void* bytes, size_t count) {
    if (writeLimit >= 0) {
        if (writeLimit == 0 && count > 0) {
            errno = ENOSPC;
            return -1;
        }
        if (static_cast<uint64_t>(writeLimit) < count) count = static_cast<size_t>(writeLimit);
    }
    if (shortWriteSize > 0 && count > shortWriteSize) count = shortWriteSize;
    ssize_t written = write(fd, bytes, count);
    if (written > 0 && writeLimit >= 0) writeLimit -= written;
    return written;
}

int seamRename(const char* from, const char* to) {
    if (renameFails) {
        errno = EIO;
        return -1;
    }
    return rename(from, to);
}

#include "support/io_seam.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

int64_t writeLimit = -1;    // bytes still allowed after the last setWriteFailureAfter; -1 = no limit
size_t shortWriteSize = 0;  // 0 = whole writes
bool renameFails = false;
int64_t readLimit = -1;  // bytes still delivered after the last setReadLimit; -1 = no limit
bool readFails = false;

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

void setReadLimit(int64_t bytes, bool fails) {
    readLimit = bytes < 0 ? -1 : bytes;
    readFails = fails;
}

ssize_t seamRead(int fd, void* bytes, size_t count) {
    if (readLimit >= 0) {
        if (readLimit == 0 && count > 0) {
            if (!readFails) return 0;
            errno = EIO;
            return -1;
        }
        if (static_cast<uint64_t>(readLimit) < count) count = static_cast<size_t>(readLimit);
    }
    ssize_t got = read(fd, bytes, count);
    if (got > 0 && readLimit >= 0) readLimit -= got;
    return got;
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

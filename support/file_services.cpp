#include "support/file_services.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_set>
#include <vector>

#include "support/io_seam.h"
#include "support/safe_file.h"

namespace {

struct FileHandle {
    bool open = false;
    int fd = -1;
    SafeFile* created = nullptr;  // set for createFile: writes go there, fd is its descriptor
    std::unique_ptr<uint8_t[]> buffer;
    int64_t bufferSize = 0;
    int64_t pending = 0;  // writing: free space in the buffer; reading: bytes not yet delivered
    int64_t filled = 0;   // reading: valid bytes in the buffer since the last refill
    bool writing = false;
    bool writeFailed = false;
};

// Numbers beyond this are refused rather than growing the table without bound.
constexpr int kHighestFileNumber = 0xFFFF;
constexpr int kTableStep = 16;

std::vector<FileHandle> fileTable;

FileHandle* openHandle(int number) {
    if (number < 0 || static_cast<size_t>(number) >= fileTable.size()) return nullptr;
    FileHandle& handle = fileTable[static_cast<size_t>(number)];
    return handle.open ? &handle : nullptr;
}

// The free entry for a new file under the number, closing what it held; nullptr when the
// number is out of range or the table cannot grow.
FileHandle* freshHandle(int number) {
    if (number < 0 || number > kHighestFileNumber) return nullptr;
    closeFile(number);
    if (static_cast<size_t>(number) >= fileTable.size()) {
        try {
            fileTable.resize((static_cast<size_t>(number) / kTableStep + 1) * kTableStep);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    FileHandle& handle = fileTable[static_cast<size_t>(number)];
    handle = FileHandle();
    handle.buffer.reset(new (std::nothrow) uint8_t[kFileBufferSize]);
    if (!handle.buffer) return nullptr;
    handle.bufferSize = kFileBufferSize;
    return &handle;
}

void writeOut(FileHandle& handle, const uint8_t* bytes, int64_t count) {
    if (count <= 0 || handle.writeFailed) return;
    if (handle.created != nullptr) {
        if (!safeWrite(handle.created, bytes, static_cast<size_t>(count))) handle.writeFailed = true;
        return;
    }
    while (count > 0) {
        ssize_t written = seamWrite(handle.fd, bytes, static_cast<size_t>(count));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            handle.writeFailed = true;
            return;
        }
        bytes += written;
        count -= written;
    }
}

void flushBuffer(FileHandle& handle) {
    writeOut(handle, handle.buffer.get(), handle.bufferSize - handle.pending);
    handle.pending = handle.bufferSize;
}

void switchToWriting(FileHandle& handle) {
    if (handle.pending > 0) lseek(handle.fd, -handle.pending, SEEK_CUR);
    handle.writing = true;
    handle.pending = handle.bufferSize;
    handle.filled = 0;
}

void switchToReading(FileHandle& handle) {
    flushBuffer(handle);
    handle.writing = false;
    handle.pending = 0;
    handle.filled = 0;
}

void writeBytes(FileHandle& handle, const uint8_t* bytes, int64_t count) {
    if (!handle.writing) switchToWriting(handle);
    if (count < handle.pending) {
        memcpy(handle.buffer.get() + (handle.bufferSize - handle.pending), bytes, static_cast<size_t>(count));
        handle.pending -= count;
        return;
    }
    flushBuffer(handle);
    if (count >= handle.bufferSize) {
        writeOut(handle, bytes, count);
    } else {
        memcpy(handle.buffer.get(), bytes, static_cast<size_t>(count));
        handle.pending -= count;
    }
}

// The bytes one at a time as far as the buffer goes: while more than one byte of room is
// left, the bytes that fit are copied in together, which is what single bytes would do; a
// byte that meets one byte of room flushes the buffer first, as a single byte does.
void writeBytesSingly(FileHandle& handle, const uint8_t* bytes, int64_t count) {
    if (!handle.writing) switchToWriting(handle);
    while (count > 0) {
        const int64_t fit = std::min(count, handle.pending - 1);
        const int64_t take = fit > 0 ? fit : 1;
        writeBytes(handle, bytes, take);
        bytes += take;
        count -= take;
    }
}

// One read(2), repeated only when a signal interrupts it; -1 on an error.
int64_t readOnce(int fd, uint8_t* memory, int64_t count) {
    ssize_t got;
    do {
        got = seamRead(fd, memory, static_cast<size_t>(count));
    } while (got < 0 && errno == EINTR);
    return got;
}

// Reads until count bytes or the end of the file: the bytes delivered, -1 on an error.
int64_t readFully(int fd, uint8_t* memory, int64_t count) {
    int64_t total = 0;
    while (total < count) {
        int64_t got = readOnce(fd, memory + total, count - total);
        if (got < 0) return -1;
        if (got == 0) break;
        total += got;
    }
    return total;
}

bool isUsableName(const std::string& name) {
    return !name.empty() && name.find('\0') == std::string::npos;
}

// Blocks larger than this are refused outright: no machine holds them, and asking the
// allocator for them only invites trouble.
constexpr int64_t kLargestBlock = (int64_t{1} << 40) - 1;

std::unordered_set<uint8_t*> heldBlocks;

}  // namespace

int openFileForReading(int number, const std::string& fileName) {
    FileHandle* handle = freshHandle(number);
    if (handle == nullptr) return 0;
    int fd = -1;
    if (isUsableName(fileName)) {
        // Non-blocking, so that a pipe without a writer does not hang the open before fstat
        // can refuse it.
        do {
            fd = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
    }
    struct stat info;
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(fd);
        fd = -1;
    }
    if (fd >= 0) {
        int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
            close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        *handle = FileHandle();
        return 0;
    }
    handle->fd = fd;
    handle->open = true;
    return 1;
}

int createFile(int number, const std::string& fileName) {
    FileHandle* handle = freshHandle(number);
    if (handle == nullptr) return 0;
    SafeFile* created = beginSafeFile(fileName);
    if (created == nullptr) {
        *handle = FileHandle();
        return 0;
    }
    handle->created = created;
    handle->fd = safeFileDescriptor(created);
    handle->open = true;
    return 1;
}

int64_t readData(int number, void* memory, int64_t length) {
    FileHandle* handle = openHandle(number);
    if (handle == nullptr || memory == nullptr || length <= 0) return 0;
    if (handle->writing) switchToReading(*handle);
    uint8_t* out = static_cast<uint8_t*>(memory);
    const uint8_t* buffered = handle->buffer.get() + (handle->filled - handle->pending);
    if (handle->pending >= length) {
        memcpy(out, buffered, static_cast<size_t>(length));
        handle->pending -= length;
        return length;
    }
    int64_t delivered = handle->pending;
    if (delivered > 0) memcpy(out, buffered, static_cast<size_t>(delivered));
    handle->pending = 0;
    int64_t rest = length - delivered;
    if (rest < handle->bufferSize) {
        int64_t got = readOnce(handle->fd, handle->buffer.get(), handle->bufferSize);
        if (got < 0) return 0;
        handle->filled = got;
        int64_t copied = rest < got ? rest : got;
        memcpy(out + delivered, handle->buffer.get(), static_cast<size_t>(copied));
        handle->pending = got - copied;
        return delivered + copied;
    }
    handle->filled = 0;
    const int64_t got = readFully(handle->fd, out + delivered, rest);
    return got < 0 ? 0 : delivered + got;
}

int64_t writeData(int number, const void* memory, int64_t length) {
    FileHandle* handle = openHandle(number);
    if (handle == nullptr || memory == nullptr || length <= 0) return 0;
    writeBytes(*handle, static_cast<const uint8_t*>(memory), length);
    return length;
}

int64_t writeByteRun(int number, const void* memory, int64_t length) {
    FileHandle* handle = openHandle(number);
    if (handle == nullptr || memory == nullptr || length <= 0) return 0;
    writeBytesSingly(*handle, static_cast<const uint8_t*>(memory), length);
    return length;
}

int writeByte(int number, int value) {
    FileHandle* handle = openHandle(number);
    if (handle == nullptr) return 0;
    uint8_t byte = static_cast<uint8_t>(value);
    writeBytes(*handle, &byte, 1);
    return 1;
}

int closeFile(int number) {
    FileHandle* handle = openHandle(number);
    if (handle == nullptr) return 0;
    if (handle->writing) flushBuffer(*handle);
    bool ok = !handle->writeFailed;
    if (handle->created != nullptr) {
        if (ok) {
            ok = commitSafeFile(handle->created) == 1;
        } else {
            discardSafeFile(handle->created);
        }
    } else if (close(handle->fd) != 0) {
        ok = false;
    }
    *handle = FileHandle();
    return ok ? 1 : 0;
}

void discardFile(int number) {
    FileHandle* handle = openHandle(number);
    if (handle == nullptr) return;
    handle->writeFailed = true;
    handle->writing = false;
    closeFile(number);
}

void closeAllFiles() {
    for (size_t number = 0; number < fileTable.size(); ++number) closeFile(static_cast<int>(number));
}

int64_t fileSize(const std::string& fileName) {
    if (!isUsableName(fileName)) return -1;
    std::string name = fileName;
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    struct stat info;
    if (stat(name.c_str(), &info) != 0) return -1;
    if (S_ISDIR(info.st_mode)) return -2;
    return static_cast<int64_t>(info.st_size);
}

bool isReadDenied(const std::string& fileName) {
    struct stat info;
    if (!isUsableName(fileName)) return false;
    if (stat(fileName.c_str(), &info) != 0) return errno == EACCES;
    return faccessat(AT_FDCWD, fileName.c_str(), R_OK, AT_EACCESS) != 0 && errno == EACCES;
}

FileIdentity fileIdentity(const std::string& fileName) {
    struct stat info;
    if (!isUsableName(fileName) || stat(fileName.c_str(), &info) != 0) return {};
    return {true, static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

bool isSameFile(const FileIdentity& one, const FileIdentity& other) {
    return one.exists && other.exists && one.device == other.device && one.inode == other.inode;
}

std::string programPath() {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) return std::string();
    return std::string(buffer.data(), static_cast<size_t>(length));
}

std::string currentDirectory() {
    std::string directory;
    for (size_t size = 256; size <= (size_t{1} << 20); size *= 2) {
        std::vector<char> buffer(size);
        if (getcwd(buffer.data(), size) != nullptr) {
            directory = buffer.data();
            break;
        }
        if (errno != ERANGE) return std::string();
    }
    if (directory.empty()) return std::string();
    if (directory.back() != '/') directory += '/';
    return directory;
}

std::string pathPart(const std::string& fileName) {
    size_t start = !fileName.empty() && fileName[0] == '"' ? 1 : 0;
    size_t end = fileName.find('|', start);
    if (end == std::string::npos) end = fileName.size();
    size_t lastSlash = std::string::npos;
    for (size_t at = start; at < end; ++at) {
        if (fileName[at] == '/') lastSlash = at;
    }
    if (lastSlash == std::string::npos) return std::string();
    return fileName.substr(start, lastSlash + 1 - start);
}

std::string filePart(const std::string& fileName) {
    size_t start = !fileName.empty() && fileName[0] == '"' ? 1 : 0;
    size_t lastSlash = fileName.rfind('/');
    if (lastSlash != std::string::npos && lastSlash >= start) start = lastSlash + 1;
    size_t quote = fileName.find('"', start);
    return fileName.substr(start, quote == std::string::npos ? std::string::npos : quote - start);
}

uint8_t* allocateMemory(int64_t size) {
    if (size <= 0 || size > kLargestBlock) return nullptr;
    uint8_t* block = static_cast<uint8_t*>(calloc(static_cast<size_t>(size), 1));
    if (block == nullptr) return nullptr;
    try {
        heldBlocks.insert(block);
    } catch (const std::bad_alloc&) {
        free(block);
        return nullptr;
    }
    return block;
}

void freeMemory(uint8_t* block) {
    if (heldBlocks.erase(block) != 0) free(block);
}

int peekByte(const uint8_t* address) {
    return address == nullptr ? 0 : *address;
}

void releaseAllMemory() {
    for (uint8_t* block : heldBlocks) free(block);
    heldBlocks.clear();
}

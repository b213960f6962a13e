#include "support/mapped_file.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

// The mappings the fault handler may mend. A handler may read only what is lock-free, so the
// table is a fixed set of atomic slots.
constexpr int kMappedSlots = 16;
struct MappedRange {
    std::atomic<uintptr_t> start{0}, end{0};
};
MappedRange mappedRanges[kMappedSlots];
std::atomic<uint64_t> faultsMended{0};

struct sigaction handlerBefore;
bool handlerInstalled = false;

uintptr_t pageSize() {
    static const auto size = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    return size;
}

bool inMappedRange(uintptr_t address) {
    for (const MappedRange& range : mappedRanges) {
        const uintptr_t start = range.start.load(std::memory_order_acquire);
        if (start != 0 && address >= start && address < range.end.load(std::memory_order_acquire))
            return true;
    }
    return false;
}

// A page of zeros over the vanished page; the faulting read then runs again and finds it. mmap
// is a plain system call on Linux, safe here although POSIX does not list it.
void mendVanishedPage(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    if (inMappedRange(address)) {
        void* page = reinterpret_cast<void*>(address & ~(pageSize() - 1));
        if (mmap(page, pageSize(), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            faultsMended.fetch_add(1, std::memory_order_relaxed);
            return;
        }
    }
    // Not ours: what was there before takes the fault.
    if ((handlerBefore.sa_flags & SA_SIGINFO) != 0 && handlerBefore.sa_sigaction != nullptr) {
        handlerBefore.sa_sigaction(signal, info, context);
        return;
    }
    if (handlerBefore.sa_handler != SIG_DFL && handlerBefore.sa_handler != SIG_IGN &&
        handlerBefore.sa_handler != nullptr) {
        handlerBefore.sa_handler(signal);
        return;
    }
    sigaction(SIGBUS, &handlerBefore, nullptr);  // the same read faults again, then ends the process
}

void installFaultHandler() {
    if (handlerInstalled) return;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = mendVanishedPage;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    handlerInstalled = sigaction(SIGBUS, &action, &handlerBefore) == 0;
}

bool noteRange(uintptr_t start, uintptr_t end) {
    for (MappedRange& range : mappedRanges) {
        uintptr_t expected = 0;
        if (range.start.load() != 0) continue;
        range.end.store(end, std::memory_order_release);
        if (range.start.compare_exchange_strong(expected, start)) return true;
    }
    return false;
}

void forgetRange(uintptr_t start) {
    for (MappedRange& range : mappedRanges)
        if (range.start.load() == start) range.start.store(0, std::memory_order_release);
}

// One read; waits while a pipe's writer is still to deliver. A FIFO that no writer has opened
// yet reads as ended at once: it is given a second to get one. -1 on an error.
int64_t readWaiting(int descriptor, uint8_t* into, int64_t count, bool nothingYet) {
    constexpr int kLateWriterMs = 1000;
    bool waitedForWriter = false;
    for (;;) {
        const ssize_t got = read(descriptor, into, static_cast<size_t>(count));
        if (got > 0) return got;
        if (got < 0 && errno == EINTR) continue;
        pollfd ready{descriptor, POLLIN, 0};
        if (got < 0 && errno == EAGAIN) {
            if (poll(&ready, 1, -1) < 0 && errno != EINTR) return -1;
            continue;
        }
        if (got < 0) return -1;
        struct stat info;
        if (!nothingYet || waitedForWriter || fstat(descriptor, &info) != 0 || !S_ISFIFO(info.st_mode))
            return 0;
        waitedForWriter = true;
        if (poll(&ready, 1, kLateWriterMs) <= 0) return 0;
    }
}

}  // namespace

OpenedSource openDataSource(const char* name) {
    int descriptor;
    do {
        descriptor = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    struct stat info;
    if (descriptor >= 0 && fstat(descriptor, &info) != 0) {
        close(descriptor);
        descriptor = -1;
    }
    if (descriptor < 0) return {-1, false, 0};
    return {descriptor, S_ISREG(info.st_mode), static_cast<int64_t>(info.st_size)};
}

void closeSource(const OpenedSource& source) {
    if (source.descriptor >= 0) close(source.descriptor);
}

MappedFile readStream(int descriptor, int64_t limit, bool& tooLong) {
    tooLong = false;
    const auto page = static_cast<int64_t>(pageSize());
    // Reserved, not taken: only the pages read into count.
    const int64_t length = (limit + page - 1) / page * page + page;
    void* reserved = mmap(nullptr, static_cast<size_t>(length), PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED) {
        close(descriptor);
        return {};
    }
    auto* bytes = static_cast<uint8_t*>(reserved);
    int64_t size = 0;
    for (;;) {
        // One byte more than the limit tells a stream that runs past it.
        const int64_t got =
            readWaiting(descriptor, bytes + size, std::min<int64_t>(limit + 1 - size, 1 << 20), size == 0);
        if (got <= 0) {
            if (got < 0) size = 0;
            break;
        }
        size += got;
        if (size > limit) {
            tooLong = true;
            size = 0;
            break;
        }
    }
    close(descriptor);
    const int64_t kept = size == 0 ? 0 : (size + page - 1) / page * page + page;
    if (kept < length) munmap(bytes + kept, static_cast<size_t>(length - kept));
    if (size == 0) return {};
    mprotect(bytes, static_cast<size_t>(kept), PROT_READ);
    return {bytes, size, kept, -1};
}

MappedFile mapFile(int descriptor, int64_t size) {
    const auto page = static_cast<int64_t>(pageSize());
    if (descriptor < 0 || size <= 0 || size > INT64_MAX - 2 * page) {
        if (descriptor >= 0) close(descriptor);
        return {};
    }
    // A reserved run of zero pages one page longer than the file, the file mapped over its start:
    // the bytes past the end of the data read as zeros, whatever the file's size.
    const int64_t length = (size + page - 1) / page * page + page;
    void* reserved = mmap(nullptr, static_cast<size_t>(length), PROT_READ,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED) {
        close(descriptor);
        return {};
    }
    installFaultHandler();
    const auto start = reinterpret_cast<uintptr_t>(reserved);
    if (!handlerInstalled || !noteRange(start, start + static_cast<uintptr_t>(size)) ||
        mmap(reserved, static_cast<size_t>(size), PROT_READ, MAP_PRIVATE | MAP_FIXED, descriptor, 0) ==
            MAP_FAILED) {
        forgetRange(start);
        munmap(reserved, static_cast<size_t>(length));
        close(descriptor);
        return {};
    }
    return {static_cast<const uint8_t*>(reserved), size, length, descriptor};
}

void unmapFile(MappedFile& file) {
    if (file.bytes == nullptr) return;
    const auto start = reinterpret_cast<uintptr_t>(file.bytes);
    forgetRange(start);
    munmap(const_cast<uint8_t*>(file.bytes), static_cast<size_t>(file.length));
    if (file.descriptor >= 0) close(file.descriptor);
    file = MappedFile{};
}

int64_t mappedBytesPresent(const MappedFile& file) {
    struct stat info;
    if (file.bytes != nullptr && file.descriptor < 0) return file.size;
    if (file.bytes == nullptr || fstat(file.descriptor, &info) != 0) return 0;
    return std::min<int64_t>(info.st_size, file.size);
}

void releaseMappedPages(const MappedFile& file, int64_t keepFrom, int64_t keepTo) {
    // Only a file mapped from disk: a stream's bytes exist nowhere else.
    if (file.bytes == nullptr || file.descriptor < 0) return;
    const auto page = static_cast<int64_t>(pageSize());
    const int64_t from = std::clamp<int64_t>(keepFrom, 0, file.size) / page * page;
    const int64_t to = (std::clamp<int64_t>(keepTo, 0, file.size) + page - 1) / page * page;
    auto* start = const_cast<uint8_t*>(file.bytes);
    if (from > 0) madvise(start, static_cast<size_t>(from), MADV_DONTNEED);
    if (to < file.length) madvise(start + to, static_cast<size_t>(file.length - to), MADV_DONTNEED);
}

uint64_t vanishedPageFaults() {
    return faultsMended.load(std::memory_order_relaxed);
}

bool copyMappedBytes(uint8_t* to, const uint8_t* from, int64_t count) {
    const uint64_t before = vanishedPageFaults();
    // The handler runs between these reads of the count: the copy must stay between them.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (count > 0) std::memcpy(to, from, static_cast<size_t>(count));
    std::atomic_signal_fence(std::memory_order_seq_cst);
    return vanishedPageFaults() == before;
}

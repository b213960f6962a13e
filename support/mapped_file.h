// A regular file's bytes mapped read-only into memory, pages read as they are first touched.
//
// A file cut short by another program while mapped would end the process with SIGBUS at the
// first touch of a page past its new end. While any file is mapped, a handler turns such a
// fault into a page of zeros at that address and counts it, so that the program runs on and
// can ask whether its bytes are still there. Faults outside the mapped files go to the handler
// that was there before (by default: the process ends as it would have).
#pragma once

#include <cstdint>

struct MappedFile {
    const uint8_t* bytes = nullptr;  // nullptr: nothing mapped
    int64_t size = 0;                // the file's size when mapped
    int64_t length = 0;              // the bytes reserved: size and at least 16 zero bytes
    int descriptor = -1;             // kept open to ask the file's size later; -1 for a stream read
};

// A file opened for reading without waiting for a writer: its descriptor (-1 when it cannot be
// opened), whether it is a regular file, and the size it reports (0 for many that do not know).
struct OpenedSource {
    int descriptor;
    bool regular;
    int64_t size;
};
OpenedSource openDataSource(const char* name);
void closeSource(const OpenedSource& source);

// Reads the open file (a pipe, a device, a file that reports no size) to its end into memory
// that the record holds alone, followed by at least 16 zero bytes, and closes it. Nothing when
// it delivers no byte, fails, or runs past `limit` bytes (tooLong then).
MappedFile readStream(int descriptor, int64_t limit, bool& tooLong);

// Maps size bytes of the open regular file, which the mapping then owns (it is closed by
// unmapFile, or at once on failure). The bytes are followed by at least 16 zero bytes.
MappedFile mapFile(int descriptor, int64_t size);

// Unmaps and closes; afterwards the record holds nothing. Does nothing for an empty record.
void unmapFile(MappedFile& file);

// The bytes of the mapped file that still exist: its size now, at most its size when mapped,
// and 0 when the file cannot be asked. A stream read holds its bytes itself: all of them.
int64_t mappedBytesPresent(const MappedFile& file);

// Lets go of the pages of a mapped file outside [keepFrom, keepTo): they leave the process's
// memory and are read again (from the page cache, mostly) when touched.
void releaseMappedPages(const MappedFile& file, int64_t keepFrom, int64_t keepTo);

// Faults turned into zero pages since the program started; a change tells that some file
// shrank under a reader.
uint64_t vanishedPageFaults();

// Copies count bytes that may lie in a mapped file: false when any of them had vanished (the
// copy then holds zeros there).
bool copyMappedBytes(uint8_t* to, const uint8_t* from, int64_t count);

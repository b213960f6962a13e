// Numbered files with a write-back buffer, file-system queries on names, and zero-filled
// memory blocks. A number that holds no file makes every file operation do nothing and
// return 0.
#pragma once

#include <cstdint>
#include <string>

constexpr int64_t kFileBufferSize = 4096;

// Opens an existing regular file for reading: nonzero on success. Directories, pipes,
// sockets and devices are refused at once, without waiting for a writer. A file still
// open under the number is closed first.
int openFileForReading(int number, const std::string& fileName);

// Starts a new file under the number, for reading and writing: nonzero on success. The
// bytes reach the named file only when closeFile succeeds; until then an existing file of
// that name is left as it was.
int createFile(int number, const std::string& fileName);

// Up to length bytes from the current position into memory, fewer only where the file ends;
// the count delivered. 0 at the end of the file, for a number that holds no file, and on a
// read error, also one met after some bytes had come.
int64_t readData(int number, void* memory, int64_t length);

// Appends the low 8 bits of value at the current position: 1 when taken, 0 when the number
// holds no file. A failure to write is reported by closeFile.
int writeByte(int number, int value);

// Appends length bytes exactly as that many writeByte calls would, so that they reach the
// file in the same pieces (4095 bytes each with a 4096-byte buffer), without a call per byte:
// length when taken, 0 for nothing to write or a number that holds no file.
int64_t writeByteRun(int number, const void* memory, int64_t length);

// Appends length bytes through the same buffer (a piece of a buffer or more goes to the file
// directly): length when taken, 0 for nothing to write or a number that holds no file.
// Failures are reported by closeFile.
int64_t writeData(int number, const void* memory, int64_t length);

// Flushes, closes and frees the number: 1 when every write, the close and (for a created
// file) the replacement of the named file succeeded, 0 otherwise or when the number holds
// no file. A created file that failed leaves no trace and the old file, if any, intact.
int closeFile(int number);

// Closes and frees the number without finishing a created file: it leaves no trace, and the
// old file of its name, if any, stays intact.
void discardFile(int number);

void closeAllFiles();

// The size of an existing file; -2 for a directory; -1 for an empty name or a name that
// names nothing. Trailing "/" are dropped (except for the root itself).
int64_t fileSize(const std::string& fileName);

// The name leads to something this user may not read, or through a folder they may not enter.
bool isReadDenied(const std::string& fileName);

// What tells one file apart from every other, whatever name or link leads to it.
struct FileIdentity {
    bool exists = false;  // false: the name leads to nothing
    uint64_t device = 0;
    uint64_t inode = 0;
};

// The identity of what the name leads to, links followed.
FileIdentity fileIdentity(const std::string& fileName);

// Both exist and are the same file.
bool isSameFile(const FileIdentity& one, const FileIdentity& other);

// The current directory, ending in "/"; empty when the system reports an error.
std::string currentDirectory();

// The path of the running program's file, links followed; empty when the system does not say.
std::string programPath();

// The name up to and including its last "/", without a leading double quote and not looking
// beyond the first "|"; empty when there is no "/".
std::string pathPart(const std::string& fileName);

// What follows the last "/" (the whole name without one), without a leading double quote
// and up to the next double quote; empty when the name ends in "/".
std::string filePart(const std::string& fileName);

// A new block of size zero bytes; nullptr for a size of 0 or less, a size of 2^40 bytes or
// more, or when memory runs out. Every block still held is freed by releaseAllMemory.
uint8_t* allocateMemory(int64_t size);

// Frees a block of allocateMemory; anything else, null included, is ignored.
void freeMemory(uint8_t* block);

// The byte at the address, 0 to 255; 0 for a null address.
int peekByte(const uint8_t* address);

void releaseAllMemory();

// Commit-or-discard file writer. Bytes go to a temporary file in the target's folder; only
// commitSafeFile, after every byte was written and the file closed, renames it onto the
// target. Any failure removes the temporary file, so an existing file of the target's name
// is never damaged and no partial file is left behind.
#pragma once

#include <cstddef>
#include <string>

struct SafeFile;

// nullptr when the target is a directory or another non-regular file, exists but is not
// writable (no write permission bit counts as not writable, also for root), or its folder does not exist or
// refuses a new file. A symbolic link is followed: the file it points to is replaced, the link stays. The new
// file keeps the permission bits of the file it replaces, else gets 0666 less the umask.
SafeFile* beginSafeFile(const std::string& name);

// 1 when all n bytes were written, 0 otherwise; after one failure every later write and
// the commit fail too. A null f gives 0.
int safeWrite(SafeFile* f, const void* bytes, size_t n);

// The open descriptor of the temporary file (read and write access), for callers that read
// back what they wrote or move the file position; -1 for a null f. Writes must still go
// through safeWrite.
int safeFileDescriptor(const SafeFile* f);

// Closes the temporary file and renames it onto the target: 1 on success. On any failure
// (an earlier write, the close, the rename) the temporary file is removed and 0 returned.
// Frees f in every case.
int commitSafeFile(SafeFile* f);

// Removes the temporary file and frees f. Does nothing for a null f.
void discardSafeFile(SafeFile* f);

// Commit-or-discard file writer. Bytes go to a temporary file in the target's folder; only
// commitSafeFile, after every byte was written and the file closed, renames it onto the
// target. Any failure removes the temporary file, so an existing file of the target's name
// is never damaged and no partial file is left behind.
//
// Two targets are written in place instead, through the file itself, since a rename would
// replace something other than what the kernel lets the user open: a symbolic link, and an
// existing file in a folder that takes no new file. Their bytes are written from the start
// and the file is cut to its new length at the commit; a failure there can leave the file
// partly rewritten.
#pragma once

#include <cstddef>
#include <string>

struct SafeFile;

// nullptr when the target is a directory or another non-regular file, exists but is not
// writable (no write permission bit counts as not writable, also for root), or its folder does
// not exist or refuses a new file while the target does not exist. A symbolic link is never
// resolved here: it is opened the ordinary way, as the kernel allows, and written in place; a
// link owned by another user than the writer, and a dangling link, are refused. A replaced file
// keeps its permission bits, a new file gets 0666 less the umask.
SafeFile* beginSafeFile(const std::string& name);

// For programs whose output may be a stream (the command-line tool): while on, the name "-"
// is standard output, and a name that exists but is not a regular file (a character device, a
// pipe, a link to either, or a link to whatever standard output is open on) is written
// straight to that open file, in order, with no temporary file and no rename. Off by default.
void setStreamTargets(bool on);

// 1 when all n bytes were written, 0 otherwise; after one failure every later write and
// the commit fail too. A null f gives 0.
int safeWrite(SafeFile* f, const void* bytes, size_t n);

// The open descriptor the bytes go to (read and write access where the file allows it), for
// callers that read back what they wrote or move the file position; -1 for a null f. Writes
// must still go through safeWrite.
int safeFileDescriptor(const SafeFile* f);

// Finishes the file: renames the temporary file onto the target, or cuts a file written in
// place to its new length, or just lets go of a stream. 1 on success. On any failure (an
// earlier write, the close, the rename) the temporary file is removed and 0 returned. Frees f
// in every case.
int commitSafeFile(SafeFile* f);

// Removes the temporary file and frees f; a file written in place keeps what was written to
// it. Does nothing for a null f.
void discardSafeFile(SafeFile* f);

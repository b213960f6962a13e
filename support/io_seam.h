// Every byte our writers put on disk, every rename that publishes a file and every read of
// a data file goes through these calls, so that tests can make them fail the way a full
// disk, a vanished folder, a file cut short while it is read or a failing disk would.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// Makes writes fail (errno ENOSPC) once `bytes` bytes have been written in total since
// this call; a write that crosses the limit is cut short there. -1 turns the failure off.
void setWriteFailureAfter(int64_t bytes);

// Cuts every seamWrite to at most `most` bytes, as a write to a pipe or a slow device
// may be. 0 turns it off.
void setShortWrites(size_t most);

// While on, every seamRename fails with errno EIO and changes nothing.
void setRenameFailure(bool fail);

// Makes reads end once `bytes` bytes have been read in total since this call, as at the end
// of a file that was cut short meanwhile; with `fails`, a read there fails with errno EIO
// instead. -1 turns it off.
void setReadLimit(int64_t bytes, bool fails);

// read(2) under the limit above.
ssize_t seamRead(int fd, void* bytes, size_t count);

// write(2) under the failure budget above.
ssize_t seamWrite(int fd, const void* bytes, size_t count);

// rename(2) unless a rename failure is switched on.
int seamRename(const char* from, const char* to);

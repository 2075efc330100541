#pragma once
// Reads and writes that finish what they start: interrupted and short calls
// are carried on until all is done or a real error comes.

#include <cstddef>
#include <sys/types.h>

// Writes all of data; 0 or errno.
int writeAll(int fd, const void* data, std::size_t size);
// Writes all of data at offset (pwrite); 0 or errno.
int writeAllAt(int fd, const void* data, std::size_t size, off_t offset);
// Reads up to size bytes at offset, fewer only at the end of the file; the
// count, or -1 with errno set.
ssize_t readAt(int fd, void* data, std::size_t size, off_t offset);
// Copies all of `in` into `out` from the start of both; 0 or errno.
int copyAll(int in, int out);
// Compares both files byte for byte from the start: 0 when equal, -1 when
// they differ (in size or content), errno on a read error.
int compareAll(int a, int b);

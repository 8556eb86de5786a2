// Reading a whole file or stream into memory, for the rule-file loader and
// jestcat, and writing bytes out whole. All return 0 on success or the errno
// value of what failed.
#pragma once

#include "ByteString.h"

#include <cstddef>
#include <limits>
#include <string_view>

// Appends everything from fd up to its end to out. With a limit, reads at
// most limit + 1 bytes and returns EFBIG when there were more than limit
// (out then holds the bytes read).
int ReadToEnd(int fd, CByteString& out, std::size_t limit = std::numeric_limits<std::size_t>::max());

// Opens the file of that name (the bytes the system uses) and reads it whole
// into contents, replacing them only on success. With regularOnly the open
// never blocks (a FIFO cannot hang it) and anything but a regular file is
// refused (EISDIR for a directory, EINVAL otherwise). limit as for ReadToEnd;
// on EFBIG contents hold the first limit + 1 bytes.
int ReadWholeFile(const CByteString& name, CByteString& contents, bool regularOnly,
                  std::size_t limit = std::numeric_limits<std::size_t>::max());

// Writes all of bytes to fd, through short writes and interruptions.
int WriteAll(int fd, std::string_view bytes);

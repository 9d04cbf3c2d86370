#pragma once
// Reading a whole file that must be a plain file, for the web server's pictures: open(2) and
// read(2) here (RegularFile_posix.cpp), CreateFileW (the UTF-8 name in UTF-16) and ReadFile on
// Windows.

#include <string>

#include "platform/Status.h"

namespace platform {

// Reads the whole file `path`. The file is opened for reading only and without waiting on
// anything, and anything but a regular file counts as one that cannot be opened (kind
// kCannotOpen; here error EISDIR for a folder, EINVAL for a FIFO or a device): neither a read-only
// file nor a FIFO under a file's name can hold the caller. A failed read after the open is kind
// kFailed. A file that shrinks while it is read gives the bytes that were there.
Result<std::string> ReadRegularFile(const std::string& path);

}  // namespace platform

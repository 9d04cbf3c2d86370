#pragma once
// Reading a whole file that must be a plain file, for the web server's pictures: open(2) and
// read(2) here (RegularFile_posix.cpp), CreateFileW (the UTF-8 name in UTF-16) and ReadFile on
// Windows.

#include <string>

namespace platform {

struct FileReadResult {
    enum class Status { kOk, kOpenFailed, kReadFailed };
    Status status = Status::kOk;
    int error = 0;  // the system's number for the failure (errno here, GetLastError() on Windows)
};

// Reads the whole file `path` into `bytes`, which a failure leaves untouched. The file is opened
// for reading only and without waiting on anything, and anything but a regular file counts as a
// failed open (here error EISDIR for a folder, EINVAL for a FIFO or a device): neither a read-only
// file nor a FIFO under a file's name can hold the caller. A file that shrinks while it is read
// gives the bytes that were there.
FileReadResult ReadRegularFile(const std::string& path, std::string& bytes);

}  // namespace platform

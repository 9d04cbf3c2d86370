// Reading a regular file with POSIX calls.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/PosixError.h"
#include "platform/RegularFile.h"

namespace platform {

Result<std::string> ReadRegularFile(const std::string& path) {
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return {Status(ErrorKind::kCannotOpen, errno)};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return {Status(ErrorKind::kCannotOpen, error)};
    }
    std::string content(static_cast<size_t>(info.st_size), '\0');
    size_t got = 0;
    while (got < content.size()) {
        const ssize_t n = ::read(fd, content.data() + got, content.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return {PosixError(error)};
        }
        if (n == 0) break;  // the file shrank while being read
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    content.resize(got);
    return {Status(), std::move(content)};
}

}  // namespace platform

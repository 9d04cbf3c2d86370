#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileLock.h"

namespace platform {

FileLock::~FileLock() {
    Unlock();
}

bool FileLock::TryLock(const std::string& path) {
    Unlock();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

void FileLock::Unlock() {
    if (m_handle == kNoHandle) return;
    const int fd = static_cast<int>(m_handle);
    ::flock(fd, LOCK_UN);
    ::close(fd);
    m_handle = kNoHandle;
}

bool FileLock::IsHeldElsewhere(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool held = false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        held = (errno == EWOULDBLOCK);
    } else {
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    return held;
}

}  // namespace platform

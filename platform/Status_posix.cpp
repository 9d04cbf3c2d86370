// Status texts and kinds from errno values.

#include <cerrno>
#include <cstring>

#include "platform/PosixError.h"

namespace platform {

std::string Status::Text() const {
    if (!m_text.empty() || m_code == 0) return m_text;
    return SystemErrorText(m_code);
}

std::string SystemErrorText(int code) {
    char buffer[128] = {};
    // GNU strerror_r: the text may be a constant of the library rather than the buffer.
    return ::strerror_r(code, buffer, sizeof buffer);
}

Status PosixError(int error) {
    if (error == EINTR) return Status(ErrorKind::kInterrupted, error);
    if (error == EAGAIN || error == EWOULDBLOCK) return Status(ErrorKind::kWouldBlock, error);
    return Status(ErrorKind::kFailed, error);
}

}  // namespace platform

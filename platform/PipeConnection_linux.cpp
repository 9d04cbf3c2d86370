// The pipe's client end as a Unix-domain stream socket. docs/pipe.md maps each Windows call to
// what stands in for it here.

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/PipeConnection.h"
#include "platform/PosixError.h"

namespace platform {
namespace {

timeval ToTimeval(std::chrono::milliseconds span) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(span.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((span.count() % 1000) * 1000);
    return tv;
}

// The gauge has gone when its end is closed or reset.
Status WriteError(int error) {
    if (error == EPIPE || error == ECONNRESET || error == ENOTCONN)
        return Status(ErrorKind::kClosed, error);
    return PosixError(error);
}

class SocketPipe final : public PipeConnection {
  public:
    explicit SocketPipe(int fd) : m_fd(fd) {}
    ~SocketPipe() override { ::close(m_fd); }

    Status SetWriteMode() override {
        const int flags = ::fcntl(m_fd, F_GETFL);
        if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK) < 0) return PosixError(errno);
        // A send that finds no room gives up after one slice, so that the write's own wait can
        // look at its cancel flag in between.
        const timeval tv = ToTimeval(PipeWait::kCheckEvery);
        if (::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) < 0)
            return PosixError(errno);
        // The program never reads from the pipe.
        return ::shutdown(m_fd, SHUT_RD) == 0 ? Status() : PosixError(errno);
    }

    Result<size_t> Write(const uint8_t* data, size_t size, const PipeWait& wait) override {
        const auto deadline = std::chrono::steady_clock::now() + wait.timeout;
        Result<size_t> write;
        while (write.value < size) {
            // MSG_NOSIGNAL: a vanished gauge gives an error here instead of killing the process.
            const ssize_t sent = ::send(m_fd, data + write.value, size - write.value, MSG_NOSIGNAL);
            if (sent < 0) {
                const int error = errno;
                if (error == EINTR) continue;
                if ((error == EAGAIN || error == EWOULDBLOCK) && !wait.IsOver(deadline)) continue;
                write.status = WriteError(error);
                return write;
            }
            write.value += static_cast<size_t>(sent);
        }
        return write;
    }

  private:
    const int m_fd;
};

// Connects to the socket at `path`: a connected socket, or -1 with the reason in `error`. A
// time-out of 0 fails at once with EAGAIN on a full queue; otherwise the kernel waits for room in
// it, a slice at a time, as long as `wait` allows.
int ConnectSocket(const std::string& path, const PipeWait& wait, int& error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        error = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    const bool waits = wait.timeout.count() > 0;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | (waits ? 0 : SOCK_NONBLOCK), 0);
    if (fd < 0) {
        error = errno;
        return -1;
    }

    const auto deadline = std::chrono::steady_clock::now() + wait.timeout;
    for (;;) {
        if (waits) {
            // A blocking connect to a full queue sleeps at most the send time-out.
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const timeval tv =
                ToTimeval(std::clamp(left, std::chrono::milliseconds(1), PipeWait::kCheckEvery));
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            error = 0;
            return fd;
        }
        const int failure = errno;
        if ((failure == EINTR || failure == EAGAIN) && waits && !wait.IsOver(deadline)) continue;
        if (failure == EINTR && !waits) continue;
        ::close(fd);
        error = failure == EINTR ? EAGAIN : failure;
        return -1;
    }
}

}  // namespace

Result<std::unique_ptr<PipeConnection>> OpenPipe(const std::string& name,
                                                 const PipeWait& busyWait) {
    int error = 0;
    int fd = ConnectSocket(name, PipeWait{}, error);
    // A full listen queue is the busy pipe. The waiting connect lets the kernel sleep until the
    // gauge takes a connection and try again, as often as that happens within the wait; EAGAIN
    // from it means the wait ran out (or was cancelled), any other error that the pipe went away
    // meanwhile.
    if (fd < 0 && error == EAGAIN && busyWait.timeout.count() > 0)
        fd = ConnectSocket(name, busyWait, error);
    if (fd < 0) return {PosixError(error)};
    return {Status(), std::make_unique<SocketPipe>(fd)};
}

}  // namespace platform

#include "pipe/McduPipeClient.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "log/Log.h"
#include "platform/Paths.h"

namespace {

// A gauge that stops reading must not hold a writer (and the mutex) for ever: a write that
// cannot go out within this time fails like any other write.
constexpr std::chrono::milliseconds kWriteTimeout{5000};

timeval ToTimeval(std::chrono::milliseconds span) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(span.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((span.count() % 1000) * 1000);
    return tv;
}

}  // namespace

McduPipeClient::McduPipeClient(std::string path, LogStream& log, std::chrono::milliseconds busyWait)
    : m_path(path.empty() ? platform::McduPipePath() : std::move(path)),
      m_log(log),
      m_busyWait(busyWait) {}

McduPipeClient::~McduPipeClient() {
    platform::MutexLock lock(m_mutex);
    CloseHandleLocked();
}

bool McduPipeClient::ConnectMcduPipe() {
    platform::MutexLock lock(m_mutex);
    return ConnectLocked();
}

bool McduPipeClient::ConnectLocked() {
    m_bMcduPipeConnected = false;
    // A second start of the web server thread finds the first run's handle still open.
    CloseHandleLocked();

    int fd = OpenSocket(std::chrono::milliseconds(0));
    int error = fd < 0 ? errno : 0;
    // A full listen queue is the busy pipe. The waiting open lets the kernel sleep until the gauge
    // takes a connection and try again, as often as that happens within the wait; EAGAIN from it
    // means the wait ran out, any other error that the pipe went away meanwhile.
    if (fd < 0 && error == EAGAIN && m_busyWait.count() > 0) {
        fd = OpenSocket(m_busyWait);
        error = fd < 0 ? errno : 0;
    }
    if (fd < 0) {
        LogLine(m_log, "PIPE: Unable to open named pipe %s w/err 0x%08lx\n", m_path.c_str(),
                static_cast<unsigned long>(error));
        return false;
    }
    m_hMcduPipe = fd;
    LogLine(m_log, "PIPE: The named pipe, %s, is connected.\n", m_path.c_str());
    if (!SetWriteMode(fd)) {
        error = errno;
        LogLine(m_log, "PIPE: SetNamedPipeHandleState failed w/err 0x%08lx\n",
                static_cast<unsigned long>(error));
        CloseHandleLocked();
        return false;
    }
    m_bMcduPipeConnected = true;
    return true;
}

int McduPipeClient::OpenSocket(std::chrono::milliseconds waitFor) const {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, m_path.c_str(), m_path.size() + 1);

    const bool wait = waitFor.count() > 0;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | (wait ? 0 : SOCK_NONBLOCK), 0);
    if (fd < 0) return -1;

    const auto deadline = std::chrono::steady_clock::now() + waitFor;
    for (;;) {
        if (wait) {
            // A blocking connect to a full queue sleeps at most the send time-out.
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const timeval tv = ToTimeval(std::max(left, std::chrono::milliseconds(1)));
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return fd;
        const int error = errno;
        if (error == EINTR && (!wait || std::chrono::steady_clock::now() < deadline)) continue;
        ::close(fd);
        errno = error == EINTR ? EAGAIN : error;
        return -1;
    }
}

bool McduPipeClient::SetWriteMode(int fd) {
    // Byte stream, blocking writes with a bound, and write only: the program never reads.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) return false;
    const timeval tv = ToTimeval(kWriteTimeout);
    if (::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) < 0) return false;
    return ::shutdown(fd, SHUT_RD) == 0;
}

McduPipeClient::WriteResult McduPipeClient::WriteMessage(uint8_t code) {
    const uint8_t message[kPipeMessageSize] = {code, 0x00};
    WriteResult write;
    write.result = 1;
    while (write.written < kPipeMessageSize) {
        const ssize_t sent =
            ::send(m_hMcduPipe, message + write.written,
                   static_cast<size_t>(kPipeMessageSize - write.written), MSG_NOSIGNAL);
        // A message cut short by a signal is completed: half a message would shift every later
        // one at the gauge.
        if (sent < 0) {
            if (errno == EINTR) continue;
            write.error = errno;
            write.result = 0;
            return write;
        }
        write.written += sent;
    }
    write.ok = true;
    return write;
}

void McduPipeClient::CloseHandleLocked() {
    if (m_hMcduPipe >= 0) ::close(m_hMcduPipe);
    m_hMcduPipe = -1;
    m_bMcduPipeConnected = false;
}

bool McduPipeClient::PeerGone(int error) {
    return error == EPIPE || error == ECONNRESET || error == ENOTCONN;
}

void McduPipeClient::LogKeyFailure(const WriteResult& write, int code) {
    LogLine(m_log, "PIPE: WriteFile failed w/err 0x%08lx.\n",
            static_cast<unsigned long>(write.error));
    LogLine(m_log, "  Sends %ld bytes; Code: %d.", write.written, code);
    LogText(m_log, "  %ld bytes to write; bResult: %d\n", kPipeMessageSize, write.result);
}

void McduPipeClient::LogMessageFailure(const WriteResult& write) {
    LogLine(m_log, "PIPE: WriteFile failed w/err 0x%08lx.\n",
            static_cast<unsigned long>(write.error));
    LogLine(m_log, "  Sends %ld bytes; bResult: %d.", write.written, write.result);
}

bool McduPipeClient::SendKey(int code) {
    if (code < 0) {
        LogLine(m_log, "PIPE: Refused key code %d: not a key.\n", code);
        return false;
    }
    const uint8_t byte = static_cast<uint8_t>(MSG_PIPE_KEY + (code & 0xFF));

    platform::MutexLock lock(m_mutex);
    if (m_hMcduPipe < 0) {
        LogLine(m_log,
                "ERROR: Connection with MCDU input interface is lost. Please restart. (The pressed "
                "key code: %d)\n",
                byte);
        ConnectLocked();
        return false;  // dropped: the next key uses the new handle
    }
    WriteResult write = WriteMessage(byte);
    if (write.ok) {
        LogLine(m_log, "PIPE: Sends %ld bytes; Code: %d\n", write.written, byte);
        return true;
    }
    LogKeyFailure(write, byte);
    if (!PeerGone(write.error)) return false;

    // The gauge went away (restarted, most likely): keeping the dead handle would lose every key
    // from now on, so reopen at once and give this key one more chance.
    CloseHandleLocked();
    if (!ConnectLocked()) return false;
    write = WriteMessage(byte);
    if (write.ok) {
        LogLine(m_log, "PIPE: Sends %ld bytes; Code: %d\n", write.written, byte);
        return true;
    }
    LogKeyFailure(write, byte);
    // Gone again right away: no handle is better than a dead one, the next key reconnects.
    if (PeerGone(write.error)) CloseHandleLocked();
    return false;
}

bool McduPipeClient::SendProbe() {
    platform::MutexLock lock(m_mutex);
    if (!m_bMcduPipeConnected || m_hMcduPipe < 0) return false;
    const WriteResult write = WriteMessage(MSG_PIPE_DUMMY);
    if (write.ok) {
        LogLine(m_log, "PIPE: Sends MSG_PIPE_DUMMY, %ld bytes.\n", write.written);
        return true;
    }
    LogMessageFailure(write);
    if (PeerGone(write.error)) {
        CloseHandleLocked();
        ConnectLocked();
    }
    return false;
}

bool McduPipeClient::SendClose() {
    platform::MutexLock lock(m_mutex);
    if (m_hMcduPipe < 0) return false;
    const WriteResult write = WriteMessage(MSG_PIPE_CLOSE);
    if (write.ok) {
        LogLine(m_log, "PIPE: Sends MSG_PIPE_CLOSE, %ld bytes.\n", write.written);
    } else {
        LogMessageFailure(write);
    }
    CloseHandleLocked();
    return write.ok;
}

bool McduPipeClient::IsConnected() {
    platform::MutexLock lock(m_mutex);
    return m_bMcduPipeConnected;
}

bool McduPipeClient::IsValid() {
    platform::MutexLock lock(m_mutex);
    return m_hMcduPipe >= 0;
}

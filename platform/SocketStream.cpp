#include "platform/SocketStream.h"

#include <algorithm>

namespace platform {
namespace {

// How long one write may wait for a simulator that does not read.
constexpr std::chrono::milliseconds kSendTimeout{2000};
// A wait for bytes looks at the stream's own shutdown at least this often: whether a local
// shutdown wakes a wait is not promised on Windows.
constexpr std::chrono::milliseconds kShutdownCheck{50};

}  // namespace

SocketStream::~SocketStream() {
    CloseSocket(m_socket);
}

bool SocketStream::WaitReadable(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (m_shutdown.load()) return true;
        const auto left = std::max(std::chrono::milliseconds(0),
                                   std::chrono::ceil<std::chrono::milliseconds>(
                                       deadline - std::chrono::steady_clock::now()));
        const Status ready = platform::WaitReadable(m_socket, std::min(left, kShutdownCheck));
        if (ready.Kind() == ErrorKind::kInterrupted) continue;
        // Readable, or an error the read reports.
        if (ready.Kind() != ErrorKind::kTimedOut) return true;
        if (left <= kShutdownCheck) return false;
    }
}

Result<size_t> SocketStream::Read(uint8_t* buffer, size_t capacity) {
    if (m_shutdown.load()) return {Status(ErrorKind::kClosed)};
    for (;;) {
        // A blocking socket: the read must not wait, so it is made only when it would not.
        const Status ready = platform::WaitReadable(m_socket, std::chrono::milliseconds(0));
        if (ready.Kind() == ErrorKind::kTimedOut) return {Status(ErrorKind::kWouldBlock)};
        Result<size_t> got = Receive(m_socket, reinterpret_cast<char*>(buffer), capacity);
        if (got.IsOk() && got.value == 0) return {Status(ErrorKind::kClosed)};
        switch (got.status.Kind()) {
            case ErrorKind::kOk:
            case ErrorKind::kWouldBlock:
            case ErrorKind::kClosed:
            case ErrorKind::kReset:
                return got;
            case ErrorKind::kInterrupted:
                continue;
            default:
                return {Status(ErrorKind::kFailed, got.status.Code())};
        }
    }
}

Result<size_t> SocketStream::WriteAll(const uint8_t* data, size_t size) {
    size_t sent = 0;
    while (sent < size) {
        const Result<size_t> n =
            Send(m_socket, reinterpret_cast<const char*>(data + sent), size - sent);
        if (n.status.Kind() == ErrorKind::kInterrupted) continue;
        if (!n.IsOk() || n.value == 0) {
            const bool reset = n.status.Kind() == ErrorKind::kReset;
            return {Status(reset ? ErrorKind::kReset : ErrorKind::kFailed, n.status.Code()), sent};
        }
        sent += n.value;
    }
    return {Status(), sent};
}

void SocketStream::Shutdown() {
    m_shutdown = true;
    ShutdownSocket(m_socket);
}

Result<ConnectedStream> ConnectSocketStream(const StreamTarget& target,
                                            std::chrono::milliseconds timeout,
                                            const std::atomic<bool>& cancel) {
    const Result<TcpConnection> connected = ConnectTcp(
        target.address, target.port, target.kind == StreamTarget::Kind::IPv6, timeout, cancel);
    if (!connected.IsOk()) return {connected.status};
    // Reads never wait (the stream's reader waits first); writes wait a bounded time.
    SetSendTimeout(connected.value.socket, kSendTimeout);
    if (target.disableNagle) SetNoDelay(connected.value.socket);
    return {Status(), ConnectedStream{std::make_unique<SocketStream>(connected.value.socket),
                                      connected.value.onLoopback}};
}

}  // namespace platform

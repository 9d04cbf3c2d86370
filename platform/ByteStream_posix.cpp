// The simulator's byte stream over POSIX sockets: TCP on IPv4 or IPv6. A named pipe to the
// simulator exists only on Windows.

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/ByteStream.h"

namespace platform {
namespace {

// How long one write may wait for a simulator that does not read.
constexpr int kSendTimeoutSeconds = 2;
// A connection attempt looks at its cancel flag at least this often.
constexpr int kCancelCheckMs = 50;

class SocketStream final : public ByteStream {
  public:
    explicit SocketStream(int fd) : m_fd(fd) {}
    ~SocketStream() override { ::close(m_fd); }

    bool WaitReadable(std::chrono::milliseconds timeout) override {
        pollfd waiter{m_fd, POLLIN, 0};
        for (;;) {
            const int ready = ::poll(&waiter, 1, static_cast<int>(timeout.count()));
            if (ready >= 0) return ready > 0;
            if (errno != EINTR) return true;  // let the read report the error
        }
    }

    IoResult Read(uint8_t* buffer, size_t capacity) override {
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, capacity, MSG_DONTWAIT);
            if (n > 0) return {Status::Ok, static_cast<size_t>(n)};
            if (n == 0) return {Status::End, 0};
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return {Status::WouldBlock, 0};
            return {errno == ECONNRESET ? Status::Reset : Status::Failed, 0};
        }
    }

    IoResult WriteAll(const uint8_t* data, size_t size) override {
        size_t sent = 0;
        while (sent < size) {
            const ssize_t n = ::send(m_fd, data + sent, size - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                const bool reset = n < 0 && errno == ECONNRESET;
                return {reset ? Status::Reset : Status::Failed, sent};
            }
            sent += static_cast<size_t>(n);
        }
        return {Status::Ok, sent};
    }

    void Shutdown() override { ::shutdown(m_fd, SHUT_RDWR); }

  private:
    const int m_fd;
};

bool IsLoopback(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    }
    if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr)) return true;
        return IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr) && v6->sin6_addr.s6_addr[12] == 127;
    }
    return false;
}

// Connects one socket to one address without blocking past `deadline` or a cancel.
ConnectResult::Error ConnectOne(int fd, const addrinfo& address,
                                std::chrono::steady_clock::time_point deadline,
                                const std::atomic<bool>& cancel, std::string* detail) {
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) return ConnectResult::Error::None;
    if (errno != EINPROGRESS && errno != EINTR) {
        *detail = std::strerror(errno);
        return ConnectResult::Error::NoServer;
    }
    for (;;) {
        if (cancel.load()) return ConnectResult::Error::Cancelled;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            *detail = "no answer in time";
            return ConnectResult::Error::NoServer;
        }
        pollfd waiter{fd, POLLOUT, 0};
        const int ready =
            ::poll(&waiter, 1, static_cast<int>(std::min<long>(left.count(), kCancelCheckMs)));
        if (ready < 0 && errno != EINTR) {
            *detail = std::strerror(errno);
            return ConnectResult::Error::NoServer;
        }
        if (ready <= 0) continue;
        int error = 0;
        socklen_t length = sizeof(error);
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        if (error == 0) return ConnectResult::Error::None;
        *detail = std::strerror(error);
        return ConnectResult::Error::NoServer;
    }
}

}  // namespace

StreamTarget DefaultSimulatorTarget() {
    return StreamTarget{StreamTarget::Kind::IPv4, "127.0.0.1", "2048", false};
}

ConnectResult ConnectStream(const StreamTarget& target, std::chrono::milliseconds timeout,
                            const std::atomic<bool>& cancel) {
    ConnectResult result;
    if (target.kind == StreamTarget::Kind::Pipe) {
        result.error = ConnectResult::Error::Unsupported;
        result.detail = "named pipes exist only on Windows";
        return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;

    addrinfo hints{};
    hints.ai_family = target.kind == StreamTarget::Kind::IPv6 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(target.address.c_str(), target.port.c_str(), &hints, &found);
    if (lookup != 0 || found == nullptr) {
        result.error = ConnectResult::Error::Unresolved;
        result.detail = lookup == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(lookup);
        return result;
    }

    result.error = ConnectResult::Error::NoServer;
    for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
        const int fd =
            ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                     address->ai_protocol);
        if (fd < 0) {
            result.detail = std::strerror(errno);
            continue;
        }
        result.error = ConnectOne(fd, *address, deadline, cancel, &result.detail);
        if (result.error != ConnectResult::Error::None) {
            ::close(fd);
            if (result.error == ConnectResult::Error::Cancelled) break;
            continue;
        }
        // Reads never wait (the stream's reader polls first); writes wait a bounded time.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        timeval sendTimeout{kSendTimeoutSeconds, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof(sendTimeout));
        if (target.disableNagle) {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        }
        result.onThisMachine = IsLoopback(address->ai_addr);
        result.stream = std::make_unique<SocketStream>(fd);
        result.detail.clear();
        break;
    }
    ::freeaddrinfo(found);
    return result;
}

}  // namespace platform

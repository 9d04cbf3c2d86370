#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "tests/support/TestSocket.h"

namespace txtest {
namespace {

// The numeric `address` and `port` as a socket address; false for anything else.
bool LoopbackAddress(const std::string& address, int port, sockaddr_storage& out,
                     socklen_t& length) {
    out = {};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&out);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        length = sizeof *v4;
        return true;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&out);
    if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        length = sizeof *v6;
        return true;
    }
    return false;
}

}  // namespace

SocketHandle ConnectLoopback(const std::string& address, int port) {
    sockaddr_storage target{};
    socklen_t length = 0;
    if (!LoopbackAddress(address, port, target, length)) return platform::kInvalidSocket;
    const int fd = ::socket(target.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return platform::kInvalidSocket;
    int result;
    do {
        result = ::connect(fd, reinterpret_cast<const sockaddr*>(&target), length);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        ::close(fd);
        return platform::kInvalidSocket;
    }
    return fd;
}

SocketHandle StartConnectLoopback(const std::string& address, int port) {
    sockaddr_storage target{};
    socklen_t length = 0;
    if (!LoopbackAddress(address, port, target, length)) return platform::kInvalidSocket;
    const int fd = ::socket(target.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return platform::kInvalidSocket;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), length) != 0 &&
        errno != EINPROGRESS) {
        ::close(fd);
        return platform::kInvalidSocket;
    }
    return fd;
}

SocketHandle BindLoopback(const std::string& address, int& port) {
    sockaddr_storage local{};
    socklen_t length = 0;
    if (!LoopbackAddress(address, 0, local, length)) return platform::kInvalidSocket;
    const int fd = ::socket(local.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return platform::kInvalidSocket;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), length) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        ::close(fd);
        return platform::kInvalidSocket;
    }
    port = ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                             : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    return fd;
}

SocketHandle ListenLoopback(const std::string& address, int backlog, int& port) {
    const SocketHandle fd = BindLoopback(address, port);
    if (fd != platform::kInvalidSocket && ::listen(fd, backlog) != 0) {
        ::close(fd);
        return platform::kInvalidSocket;
    }
    return fd;
}

SocketHandle AcceptWithin(SocketHandle listener, std::chrono::milliseconds timeout) {
    if (!WaitReadable(listener, timeout)) return platform::kInvalidSocket;
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    return fd < 0 ? platform::kInvalidSocket : fd;
}

bool WaitReadable(SocketHandle socket, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{socket, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0;
    }
}

long ReceiveSome(SocketHandle socket, char* buffer, size_t capacity, bool* reset) {
    if (reset != nullptr) *reset = false;
    for (;;) {
        const ssize_t n = ::recv(socket, buffer, capacity, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && reset != nullptr) *reset = errno == ECONNRESET;
        return n < 0 ? -1 : static_cast<long>(n);
    }
}

void CloseTestSocket(SocketHandle socket) {
    if (socket != platform::kInvalidSocket) ::close(socket);
}

bool PortIsListening(int port) {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Lingering connections of an ended listener do not count.
    const int reuse = 1;
    ::setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool taken =
        ::bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0;
    ::close(probe);
    return taken;
}

}  // namespace txtest

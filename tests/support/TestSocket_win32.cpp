#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>

#include "tests/support/TestSocket.h"

namespace txtest {
namespace {

SOCKET Native(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

// The library stays started for the whole test process: a test's sockets come and go freely.
bool NetLibraryStarted() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

bool LoopbackAddress(const std::string& address, int port, sockaddr_storage& out, int& length) {
    out = {};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&out);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<u_short>(port));
        length = sizeof *v4;
        return true;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&out);
    if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<u_short>(port));
        length = sizeof *v6;
        return true;
    }
    return false;
}

SOCKET NewSocket(int family) {
    return ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

// Whether `events` come to the socket within `timeout`.
bool PollFor(SocketHandle socket, SHORT events, std::chrono::milliseconds timeout) {
    WSAPOLLFD entry{};
    entry.fd = Native(socket);
    entry.events = events;
    const auto wait = std::clamp<long long>(timeout.count(), 0, INT_MAX);
    return ::WSAPoll(&entry, 1, static_cast<INT>(wait)) > 0;
}

}  // namespace

SocketHandle ConnectLoopback(const std::string& address, int port) {
    sockaddr_storage target{};
    int length = 0;
    if (!NetLibraryStarted() || !LoopbackAddress(address, port, target, length))
        return platform::kInvalidSocket;
    const SOCKET socket = NewSocket(target.ss_family);
    if (socket == INVALID_SOCKET) return platform::kInvalidSocket;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&target), length) != 0) {
        ::closesocket(socket);
        return platform::kInvalidSocket;
    }
    return static_cast<SocketHandle>(socket);
}

SocketHandle StartConnectLoopback(const std::string& address, int port) {
    sockaddr_storage target{};
    int length = 0;
    if (!NetLibraryStarted() || !LoopbackAddress(address, port, target, length))
        return platform::kInvalidSocket;
    const SOCKET socket = NewSocket(target.ss_family);
    if (socket == INVALID_SOCKET) return platform::kInvalidSocket;
    u_long nonBlocking = 1;
    ::ioctlsocket(socket, FIONBIO, &nonBlocking);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&target), length) != 0 &&
        ::WSAGetLastError() != WSAEWOULDBLOCK) {
        ::closesocket(socket);
        return platform::kInvalidSocket;
    }
    return static_cast<SocketHandle>(socket);
}

SocketHandle BindLoopback(const std::string& address, int& port) {
    sockaddr_storage local{};
    int length = 0;
    if (!NetLibraryStarted() || !LoopbackAddress(address, 0, local, length))
        return platform::kInvalidSocket;
    const SOCKET socket = NewSocket(local.ss_family);
    if (socket == INVALID_SOCKET) return platform::kInvalidSocket;
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&local), length) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        ::closesocket(socket);
        return platform::kInvalidSocket;
    }
    port = ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                             : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    return static_cast<SocketHandle>(socket);
}

SocketHandle ListenLoopback(const std::string& address, int backlog, int& port) {
    const SocketHandle socket = BindLoopback(address, port);
    if (socket != platform::kInvalidSocket && ::listen(Native(socket), backlog) != 0) {
        ::closesocket(Native(socket));
        return platform::kInvalidSocket;
    }
    return socket;
}

SocketHandle AcceptWithin(SocketHandle listener, std::chrono::milliseconds timeout) {
    if (!WaitReadable(listener, timeout)) return platform::kInvalidSocket;
    const SOCKET socket = ::accept(Native(listener), nullptr, nullptr);
    if (socket == INVALID_SOCKET) return platform::kInvalidSocket;
    ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    return static_cast<SocketHandle>(socket);
}

bool WaitReadable(SocketHandle socket, std::chrono::milliseconds timeout) {
    return PollFor(socket, POLLRDNORM, timeout);
}

long ReceiveSome(SocketHandle socket, char* buffer, size_t capacity, bool* reset) {
    if (reset != nullptr) *reset = false;
    const int n =
        ::recv(Native(socket), buffer, static_cast<int>(std::min<size_t>(capacity, INT_MAX)), 0);
    if (n == SOCKET_ERROR) {
        if (reset != nullptr) *reset = ::WSAGetLastError() == WSAECONNRESET;
        return -1;
    }
    return n;
}

void CloseTestSocket(SocketHandle socket) {
    if (socket != platform::kInvalidSocket) ::closesocket(Native(socket));
}

bool PortIsListening(int port) {
    if (!NetLibraryStarted()) return false;
    // A plain bind: Windows lets it pass over the lingering connections of an ended listener,
    // where SO_REUSEADDR would let it share the port of a live one.
    const SOCKET probe = NewSocket(AF_INET);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<u_short>(port));
    const bool taken =
        ::bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0;
    ::closesocket(probe);
    return taken;
}

}  // namespace txtest

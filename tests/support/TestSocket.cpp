// The test sockets of TestSocket.h and TestSupport.h, on the product's socket calls. The two calls
// the product never makes, a bind to one address and a connect that does not wait, are the
// system's own: the same Berkeley calls on both, with their headers and length type.

#include "tests/support/TestSocket.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <atomic>

#include "tests/support/TestSupport.h"

namespace txtest {
namespace {

using platform::ErrorKind;
using std::chrono::steady_clock;

sockaddr_in Ipv4(const std::string& address, int port) {
    sockaddr_in ip{};
    ip.sin_family = AF_INET;
    ip.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &ip.sin_addr);
    return ip;
}

// A new IPv4 socket bound to `address`, with the port the system picked; kInvalidSocket when
// that fails.
SocketHandle BoundSocket(const std::string& address, int& port) {
    const SocketHandle socket = platform::OpenTcpSocket().value;
    sockaddr_in local = Ipv4(address, 0);
#if defined(_WIN32)
    int length = sizeof local;
#else
    socklen_t length = sizeof local;
#endif
    port = socket != platform::kInvalidSocket &&
                   ::bind(socket, reinterpret_cast<const sockaddr*>(&local), length) == 0 &&
                   ::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) == 0
               ? ntohs(local.sin_port)
               : 0;
    if (port != 0) return socket;
    CloseTestSocket(socket);
    return platform::kInvalidSocket;
}

}  // namespace

SocketHandle ConnectLoopback(const std::string& address, int port) {
    const std::atomic<bool> never{false};
    const bool ipv6 = address.find(':') != std::string::npos;
    return platform::ConnectTcp(address, std::to_string(port), ipv6, std::chrono::seconds(10),
                                never)
        .value.socket;
}

SocketHandle StartConnectLoopback(const std::string& address, int port) {
    const SocketHandle socket = platform::OpenTcpSocket().value;
    if (socket == platform::kInvalidSocket) return socket;
    platform::SetNonBlocking(socket);
    const sockaddr_in target = Ipv4(address, port);
    // Under way or refused at once: either way the attempt has been made.
    ::connect(socket, reinterpret_cast<const sockaddr*>(&target), sizeof target);
    return socket;
}

SocketHandle ListenLoopback(const std::string& address, int backlog, int& port) {
    const SocketHandle socket = BoundSocket(address, port);
    if (socket == platform::kInvalidSocket || platform::Listen(socket, backlog).IsOk())
        return socket;
    CloseTestSocket(socket);
    return platform::kInvalidSocket;
}

SocketHandle AcceptWithin(SocketHandle listener, std::chrono::milliseconds timeout) {
    if (!WaitReadable(listener, timeout)) return platform::kInvalidSocket;
    return platform::Accept(listener, false).value;
}

bool WaitReadable(SocketHandle socket, std::chrono::milliseconds timeout) {
    const auto deadline = steady_clock::now() + timeout;
    platform::Status status;
    do {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - steady_clock::now());
        status = platform::WaitReadable(socket, std::max(left, std::chrono::milliseconds(0)));
    } while (status.Kind() == ErrorKind::kInterrupted);
    return status.IsOk();
}

long ReceiveSome(SocketHandle socket, char* buffer, size_t capacity) {
    platform::Result<size_t> got;
    do got = platform::Receive(socket, buffer, capacity);
    while (got.status.Kind() == ErrorKind::kInterrupted);
    return got.IsOk() ? static_cast<long>(got.value) : -1;
}

void CloseTestSocket(SocketHandle socket) {
    if (socket != platform::kInvalidSocket) platform::CloseSocket(socket);
}

// The product's own bind passes over an ended listener's lingering connections on every system.
bool PortIsListening(int port) {
    const SocketHandle probe = platform::OpenTcpSocket().value;
    const bool taken = !platform::BindAllIPv4(probe, static_cast<uint16_t>(port)).IsOk();
    CloseTestSocket(probe);
    return taken;
}

int FreeTcpPort() {
    int port = 0;
    CloseTestSocket(BoundSocket("127.0.0.1", port));
    return port;
}

bool SendAllBytes(SocketHandle socket, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    for (size_t sent = 0; sent < size;) {
        const auto n = platform::Send(socket, bytes + sent, size - sent);
        if (n.status.Kind() != ErrorKind::kInterrupted && (!n.IsOk() || n.value == 0)) return false;
        sent += n.value;
    }
    return true;
}

UnservedPort::UnservedPort() : m_socket(BoundSocket("127.0.0.1", m_port)) {}

}  // namespace txtest

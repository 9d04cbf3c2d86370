// The web server's socket calls over POSIX sockets.

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Net.h"

namespace platform {
namespace {

// The outcome of a call that returned `result`, errno telling why when it is negative.
NetResult ResultOf(ssize_t result) {
    if (result >= 0) return {NetStatus::kOk, static_cast<size_t>(result), 0};
    const int error = errno;
    if (error == EINTR) return {NetStatus::kInterrupted, 0, error};
    if (error == EAGAIN || error == EWOULDBLOCK) return {NetStatus::kWouldBlock, 0, error};
    return {NetStatus::kFailed, 0, error};
}

// Failures accept(2) reports for a connection that broke down before it was taken, including the
// network errors Linux passes on from the new connection.
bool IsConnectionLevelAcceptError(int error) {
    switch (error) {
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
            return true;
        default:
            return false;
    }
}

// The host name alone is a poor guide on Debian, which maps it to 127.0.1.1: no tablet can reach
// that, so the interfaces are asked first.
bool FirstInterfaceAddress(in_addr& found) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    bool ok = false;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        found = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
        ok = true;
        break;
    }
    ::freeifaddrs(list);
    return ok;
}

bool HostNameAddress(in_addr& found) {
    char name[1024] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &result) != 0 || result == nullptr) return false;
    found = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
    ::freeaddrinfo(result);
    return true;
}

}  // namespace

// Linux sockets need no library start or clean-up.
int StartNetLibrary() {
    return 0;
}
void StopNetLibrary() {}

SocketHandle OpenTcpSocket(int& error) {
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    error = handle < 0 ? errno : 0;
    return handle < 0 ? kInvalidSocket : handle;
}

void CloseSocket(SocketHandle socket) {
    ::close(socket);
}

void ShutdownSocket(SocketHandle socket) {
    ::shutdown(socket, SHUT_RDWR);
}

void SetNonBlocking(SocketHandle socket) {
    int on = 1;
    ::ioctl(socket, FIONBIO, &on);
}

int BindAllIPv4(SocketHandle socket, uint16_t port) {
    // Linux refuses a port held by a listener even with SO_REUSEADDR, and lets it bind over
    // lingering connections only with it.
    int reuse = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return errno;
    return 0;
}

void Listen(SocketHandle socket, int backlog) {
    ::listen(socket, backlog);
}

AcceptResult Accept(SocketHandle listener, bool /*listenerNonBlocking*/) {
    // A connection accepted here never takes the listener's O_NONBLOCK.
    const int handle = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (handle >= 0) return {handle, NetStatus::kOk, 0};
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || IsConnectionLevelAcceptError(error))
        return {kInvalidSocket, NetStatus::kWouldBlock, error};
    return {kInvalidSocket, NetStatus::kFailed, error};
}

WaitResult WaitReadable(SocketHandle socket, std::chrono::milliseconds timeout) {
    pollfd entry{socket, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(timeout.count()));
    if (ready > 0) return WaitResult::kReady;
    if (ready == 0) return WaitResult::kTimedOut;
    return errno == EINTR ? WaitResult::kInterrupted : WaitResult::kFailed;
}

NetResult Receive(SocketHandle socket, char* buffer, size_t capacity) {
    return ResultOf(::recv(socket, buffer, capacity, 0));
}

void SetSendTimeout(SocketHandle socket, std::chrono::milliseconds timeout) {
    timeval value{};
    value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value);
}

NetResult Send(SocketHandle socket, const char* data, size_t size) {
    // MSG_NOSIGNAL: a peer that went away gives an error here instead of killing the process.
    return ResultOf(::send(socket, data, size, MSG_NOSIGNAL));
}

NetResult SendGathered(SocketHandle socket, const SendPiece* pieces, size_t count) {
    if (count > kMaxSendPieces) return {NetStatus::kFailed, 0, EINVAL};
    iovec vectors[kMaxSendPieces];
    for (size_t i = 0; i < count; ++i)
        vectors[i] = iovec{const_cast<char*>(pieces[i].data), pieces[i].size};
    msghdr message{};
    message.msg_iov = vectors;
    message.msg_iovlen = count;
    return ResultOf(::sendmsg(socket, &message, MSG_NOSIGNAL));
}

std::string NetErrorText(int error) {
    char buffer[128] = {};
    // GNU strerror_r: the text may be a constant of the library rather than the buffer.
    return ::strerror_r(error, buffer, sizeof buffer);
}

std::string LocalIPv4Address() {
    in_addr address{};
    if (!FirstInterfaceAddress(address) && !HostNameAddress(address)) return {};
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) return {};
    return text;
}

}  // namespace platform

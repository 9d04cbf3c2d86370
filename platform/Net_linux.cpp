// The socket calls over POSIX sockets.

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Net.h"
#include "platform/PosixError.h"

namespace platform {
namespace {

// A connection attempt looks at its cancel flag at least this often.
constexpr long kCancelCheckMs = 50;

// The outcome of a call that returned `result`, errno telling why when it is negative.
Result<size_t> ResultOf(ssize_t result) {
    if (result >= 0) return {Status(), static_cast<size_t>(result)};
    const int error = errno;
    if (error == ECONNRESET) return {Status(ErrorKind::kReset, error)};
    return {PosixError(error)};
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

Status NoServer(int error) {
    return Status(ErrorKind::kNoServer, error);
}

// Connects one non-blocking socket to one address without waiting past `deadline` or a cancel.
Status ConnectOne(int fd, const addrinfo& address, std::chrono::steady_clock::time_point deadline,
                  const std::atomic<bool>& cancel) {
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) return Status();
    if (errno != EINPROGRESS && errno != EINTR) return NoServer(errno);
    for (;;) {
        if (cancel.load()) return Status(ErrorKind::kCancelled);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return Status(ErrorKind::kNoServer, 0, "no answer in time");
        pollfd waiter{fd, POLLOUT, 0};
        const int ready =
            ::poll(&waiter, 1, static_cast<int>(std::min<long>(left.count(), kCancelCheckMs)));
        if (ready < 0 && errno != EINTR) return NoServer(errno);
        if (ready <= 0) continue;
        int error = 0;
        socklen_t length = sizeof(error);
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        return error == 0 ? Status() : NoServer(error);
    }
}

}  // namespace

// Linux sockets need no library start or clean-up.
Result<SocketHandle> OpenTcpSocket() {
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0) return {PosixError(errno), kInvalidSocket};
    return {Status(), handle};
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

Status BindAllIPv4(SocketHandle socket, uint16_t port) {
    // Linux refuses a port held by a listener even with SO_REUSEADDR, and lets it bind over
    // lingering connections only with it.
    int reuse = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return PosixError(errno);
    return Status();
}

Status Listen(SocketHandle socket, int backlog) {
    return ::listen(socket, backlog) == 0 ? Status() : PosixError(errno);
}

Result<SocketHandle> Accept(SocketHandle listener, bool listenerNonBlocking) {
    // A connection accepted here never takes the listener's O_NONBLOCK by itself.
    const int handle = ::accept4(listener, nullptr, nullptr,
                                 SOCK_CLOEXEC | (listenerNonBlocking ? SOCK_NONBLOCK : 0));
    if (handle >= 0) return {Status(), handle};
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || IsConnectionLevelAcceptError(error))
        return {Status(ErrorKind::kWouldBlock, error), kInvalidSocket};
    return {Status(ErrorKind::kFailed, error), kInvalidSocket};
}

namespace {

Status WaitFor(SocketHandle socket, short events, std::chrono::milliseconds timeout) {
    pollfd entry{socket, events, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(timeout.count()));
    if (ready > 0) return Status();
    if (ready == 0) return Status(ErrorKind::kTimedOut);
    return PosixError(errno);
}

}  // namespace

Status WaitReadable(SocketHandle socket, std::chrono::milliseconds timeout) {
    return WaitFor(socket, POLLIN, timeout);
}

Status WaitWritable(SocketHandle socket, std::chrono::milliseconds timeout) {
    return WaitFor(socket, POLLOUT, timeout);
}

Result<size_t> Receive(SocketHandle socket, char* buffer, size_t capacity) {
    return ResultOf(::recv(socket, buffer, capacity, 0));
}

void SetSendTimeout(SocketHandle socket, std::chrono::milliseconds timeout) {
    timeval value{};
    value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value);
}

Result<size_t> Send(SocketHandle socket, const char* data, size_t size) {
    // MSG_NOSIGNAL: a peer that went away gives an error here instead of killing the process.
    return ResultOf(::send(socket, data, size, MSG_NOSIGNAL));
}

Result<size_t> SendGathered(SocketHandle socket, const SendPiece* pieces, size_t count) {
    if (count > kMaxSendPieces) return {Status(ErrorKind::kFailed, EINVAL)};
    iovec vectors[kMaxSendPieces];
    for (size_t i = 0; i < count; ++i)
        vectors[i] = iovec{const_cast<char*>(pieces[i].data), pieces[i].size};
    msghdr message{};
    message.msg_iov = vectors;
    message.msg_iovlen = count;
    return ResultOf(::sendmsg(socket, &message, MSG_NOSIGNAL));
}

Result<TcpConnection> ConnectTcp(const std::string& address, const std::string& port, bool ipv6,
                                 std::chrono::milliseconds timeout,
                                 const std::atomic<bool>& cancel) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = ipv6 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(address.c_str(), port.c_str(), &hints, &found);
    if (lookup != 0 || found == nullptr) {
        // The resolver's own numbers are not errno values: its words go with them.
        if (lookup == EAI_SYSTEM) return {Status(ErrorKind::kUnresolved, errno)};
        return {Status(ErrorKind::kUnresolved, lookup, ::gai_strerror(lookup))};
    }

    Result<TcpConnection> result{Status(ErrorKind::kNoServer)};
    for (const addrinfo* candidate = found; candidate != nullptr; candidate = candidate->ai_next) {
        const int fd =
            ::socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                     candidate->ai_protocol);
        if (fd < 0) {
            result.status = NoServer(errno);
            continue;
        }
        result.status = ConnectOne(fd, *candidate, deadline, cancel);
        if (!result.status.IsOk()) {
            ::close(fd);
            if (result.status.Kind() == ErrorKind::kCancelled) break;
            continue;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        result.value = TcpConnection{fd, IsLoopback(candidate->ai_addr)};
        break;
    }
    ::freeaddrinfo(found);
    return result;
}

void SetNoDelay(SocketHandle socket) {
    const int on = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

std::string HostNameIPv4Address() {
    in_addr address{};
    if (!HostNameAddress(address)) return {};
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) return {};
    return text;
}

}  // namespace platform

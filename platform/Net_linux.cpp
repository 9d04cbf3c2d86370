// The socket calls over POSIX sockets.

#include <fcntl.h>
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

#include "platform/Net.h"
#include "platform/NetSystem.h"
#include "platform/PosixError.h"

namespace platform {
namespace {

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

Status NoServer(int error) {
    return Status(ErrorKind::kNoServer, error);
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

void SetNoDelay(SocketHandle socket) {
    const int on = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

namespace net_system {

// Linux sockets need no library start or clean-up.
Status HoldLibrary() {
    return Status();
}

void ReleaseLibrary() {}

Status Unresolved(int code) {
    // The resolver's own numbers are not errno values: its words go with them.
    if (code == EAI_SYSTEM) return Status(ErrorKind::kUnresolved, errno);
    if (code == 0) code = EAI_NONAME;
    return Status(ErrorKind::kUnresolved, code, ::gai_strerror(code));
}

Result<SocketHandle> OpenConnecting(const addrinfo& address) {
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                            address.ai_protocol);
    if (fd < 0) return {PosixError(errno), kInvalidSocket};
    return {Status(), fd};
}

Status ConnectOne(SocketHandle fd, const addrinfo& address,
                  std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& cancel) {
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) return Status();
    if (errno != EINPROGRESS && errno != EINTR) return NoServer(errno);
    for (;;) {
        if (cancel.load()) return Status(ErrorKind::kCancelled);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return Status(ErrorKind::kNoServer, 0, "no answer in time");
        pollfd waiter{fd, POLLOUT, 0};
        const int ready = ::poll(
            &waiter, 1, static_cast<int>(std::min<long>(left.count(), kCancelCheck.count())));
        if (ready < 0 && errno != EINTR) return NoServer(errno);
        if (ready <= 0) continue;
        int error = 0;
        socklen_t length = sizeof(error);
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        return error == 0 ? Status() : NoServer(error);
    }
}

void SetBlocking(SocketHandle socket) {
    ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) & ~O_NONBLOCK);
}

void CloseConnecting(SocketHandle socket) {
    ::close(socket);
}

}  // namespace net_system

}  // namespace platform

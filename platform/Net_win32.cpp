// The socket calls over Winsock 2.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>

#include "platform/Mutex.h"
#include "platform/Net.h"
#include "platform/NetSystem.h"
#include "platform/WindowsError.h"

namespace platform {
namespace {

// The holders of the socket library: every socket handed out, and a name lookup under way. Sockets
// are made and closed on several threads, so the count and the start and clean-up it drives move
// together under one lock.
Mutex g_libraryMutex;
int g_libraryUsers GUARDED_BY(g_libraryMutex) = 0;

// Takes a hold on the library, starting it for the first holder.
Status StartLibrary() {
    MutexLock lock(g_libraryMutex);
    if (g_libraryUsers == 0) {
        WSADATA data{};
        if (const int error = ::WSAStartup(MAKEWORD(2, 2), &data); error != 0)
            return Status(ErrorKind::kUnsupported, error);
    }
    ++g_libraryUsers;
    return Status();
}

// Drops a hold, cleaning the library up after the last.
void StopLibrary() {
    MutexLock lock(g_libraryMutex);
    if (g_libraryUsers > 0 && --g_libraryUsers == 0) ::WSACleanup();
}

SOCKET Native(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

// The outcome of a call that returned `result`, WSAGetLastError() telling why when it failed.
// A send time-out (WSAETIMEDOUT from SO_SNDTIMEO) counts as "would block", as the interface has
// it; Windows leaves the socket unfit for more sends then, which the callers never try.
Result<size_t> ResultOf(int result, bool sending) {
    if (result != SOCKET_ERROR) return {Status(), static_cast<size_t>(result)};
    const int error = ::WSAGetLastError();
    if (sending && error == WSAETIMEDOUT) return {Status(ErrorKind::kWouldBlock, error)};
    if (error == WSAECONNRESET || error == WSAECONNABORTED)
        return {Status(ErrorKind::kReset, error)};
    // A receive after this end's own shutdown.
    if (error == WSAESHUTDOWN) return {Status(ErrorKind::kClosed, error)};
    return {WindowsError(static_cast<unsigned long>(error))};
}

int ClampToInt(size_t size) {
    return size > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

// Winsock hands out sockets that a started program inherits unless told otherwise.
void KeepFromChildren(SOCKET socket) {
    ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}

// A socket of `family` that started programs do not inherit, holding the library; the caller has
// taken a hold on it already, which the socket keeps.
Result<SocketHandle> NewSocket(int family) {
    const SOCKET handle = ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                       WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (handle == INVALID_SOCKET) return {WindowsError(::WSAGetLastError()), kInvalidSocket};
    return {Status(), static_cast<SocketHandle>(handle)};
}

long long MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    return std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
        .count();
}

Status NoServer(int error) {
    return Status(ErrorKind::kNoServer, error);
}

}  // namespace

Result<SocketHandle> OpenTcpSocket() {
    if (Status started = StartLibrary(); !started.IsOk()) return {started, kInvalidSocket};
    Result<SocketHandle> opened = NewSocket(AF_INET);
    if (!opened.IsOk()) StopLibrary();
    return opened;
}

void CloseSocket(SocketHandle socket) {
    ::closesocket(Native(socket));
    StopLibrary();
}

void ShutdownSocket(SocketHandle socket) {
    ::shutdown(Native(socket), SD_BOTH);
    // A shutdown does not end a receive that another thread is already waiting in; cancelling
    // the socket's I/O does (the receive fails, and its thread sees the end).
    ::CancelIoEx(reinterpret_cast<HANDLE>(Native(socket)), nullptr);
}

void SetNonBlocking(SocketHandle socket) {
    u_long on = 1;
    ::ioctlsocket(Native(socket), FIONBIO, &on);
}

Status BindAllIPv4(SocketHandle socket, uint16_t port) {
    // No SO_REUSEADDR: on Windows it would let this socket share a port another one listens on,
    // while a plain bind already succeeds over the previous listener's lingering connections.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(Native(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return WindowsError(::WSAGetLastError());
    return Status();
}

Status Listen(SocketHandle socket, int backlog) {
    if (::listen(Native(socket), backlog) == 0) return Status();
    return WindowsError(::WSAGetLastError());
}

Result<SocketHandle> Accept(SocketHandle listener, bool listenerNonBlocking) {
    // The listener's hold keeps the library started; the new socket takes one of its own.
    if (Status started = StartLibrary(); !started.IsOk()) return {started, kInvalidSocket};
    const SOCKET handle = ::accept(Native(listener), nullptr, nullptr);
    if (handle != INVALID_SOCKET) {
        KeepFromChildren(handle);
        // Windows hands the listener's mode on: the connection is already as asked.
        static_cast<void>(listenerNonBlocking);
        return {Status(), static_cast<SocketHandle>(handle)};
    }
    const int error = ::WSAGetLastError();
    StopLibrary();
    // A connection reset before it was taken concerns that connection only.
    if (error == WSAEWOULDBLOCK || error == WSAEINTR || error == WSAECONNRESET)
        return {Status(ErrorKind::kWouldBlock, error), kInvalidSocket};
    return {Status(ErrorKind::kFailed, error), kInvalidSocket};
}

namespace {

Status WaitFor(SocketHandle socket, SHORT events, std::chrono::milliseconds timeout) {
    WSAPOLLFD entry{};
    entry.fd = Native(socket);
    entry.events = events;
    const auto wait = timeout.count() < 0 ? -1 : std::min<long long>(timeout.count(), INT_MAX);
    const int ready = ::WSAPoll(&entry, 1, static_cast<INT>(wait));
    if (ready > 0) return Status();
    if (ready == 0) return Status(ErrorKind::kTimedOut);
    return WindowsError(::WSAGetLastError());
}

}  // namespace

Status WaitReadable(SocketHandle socket, std::chrono::milliseconds timeout) {
    return WaitFor(socket, POLLRDNORM, timeout);
}

Status WaitWritable(SocketHandle socket, std::chrono::milliseconds timeout) {
    return WaitFor(socket, POLLWRNORM, timeout);
}

Result<size_t> Receive(SocketHandle socket, char* buffer, size_t capacity) {
    return ResultOf(::recv(Native(socket), buffer, ClampToInt(capacity), 0), false);
}

void SetSendTimeout(SocketHandle socket, std::chrono::milliseconds timeout) {
    const DWORD value = static_cast<DWORD>(timeout.count());
    ::setsockopt(Native(socket), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&value),
                 sizeof value);
}

Result<size_t> Send(SocketHandle socket, const char* data, size_t size) {
    // Windows raises no signal for a peer that went away: the error comes back here.
    return ResultOf(::send(Native(socket), data, ClampToInt(size), 0), true);
}

Result<size_t> SendGathered(SocketHandle socket, const SendPiece* pieces, size_t count) {
    if (count > kMaxSendPieces) return {Status(ErrorKind::kFailed, WSAEINVAL)};
    WSABUF buffers[kMaxSendPieces];
    for (size_t i = 0; i < count; ++i) {
        buffers[i].buf = const_cast<char*>(pieces[i].data);
        buffers[i].len = static_cast<ULONG>(ClampToInt(pieces[i].size));
    }
    DWORD sent = 0;
    const int result =
        ::WSASend(Native(socket), buffers, static_cast<DWORD>(count), &sent, 0, nullptr, nullptr);
    return ResultOf(result == 0 ? static_cast<int>(sent) : SOCKET_ERROR, true);
}

void SetNoDelay(SocketHandle socket) {
    const BOOL on = TRUE;
    ::setsockopt(Native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                 sizeof on);
}

namespace net_system {

Status HoldLibrary() {
    return StartLibrary();
}

void ReleaseLibrary() {
    StopLibrary();
}

Status Unresolved(int code) {
    return Status(ErrorKind::kUnresolved, code != 0 ? code : WSAHOST_NOT_FOUND);
}

Result<SocketHandle> OpenConnecting(const addrinfo& address) {
    Result<SocketHandle> opened = NewSocket(address.ai_family);
    if (opened.IsOk()) {
        u_long nonBlocking = 1;
        ::ioctlsocket(Native(opened.value), FIONBIO, &nonBlocking);
    }
    return opened;
}

Status ConnectOne(SocketHandle handle, const addrinfo& address,
                  std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& cancel) {
    const SOCKET socket = Native(handle);
    if (::connect(socket, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0)
        return Status();
    const int started = ::WSAGetLastError();
    if (started != WSAEWOULDBLOCK) return NoServer(started);
    for (;;) {
        if (cancel.load()) return Status(ErrorKind::kCancelled);
        const long long left = MillisecondsLeft(deadline);
        if (left <= 0) return Status(ErrorKind::kNoServer, 0, "no answer in time");
        // select, not WSAPoll: Windows reports a refused connection to select (in the exception
        // set), where WSAPoll has missed it.
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(socket, &writable);
        FD_SET(socket, &failed);
        const long long slice = std::min<long long>(left, kCancelCheck.count());
        timeval wait{static_cast<long>(slice / 1000), static_cast<long>((slice % 1000) * 1000)};
        const int ready = ::select(0, nullptr, &writable, &failed, &wait);
        if (ready == SOCKET_ERROR) return NoServer(::WSAGetLastError());
        if (ready == 0) continue;
        int error = 0;
        int length = sizeof error;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) !=
            0)
            error = ::WSAGetLastError();
        if (error == 0 && FD_ISSET(socket, &writable)) return Status();
        return NoServer(error != 0 ? error : WSAECONNREFUSED);
    }
}

void SetBlocking(SocketHandle socket) {
    u_long nonBlocking = 0;
    ::ioctlsocket(Native(socket), FIONBIO, &nonBlocking);
}

void CloseConnecting(SocketHandle socket) {
    ::closesocket(Native(socket));
}

}  // namespace net_system

}  // namespace platform

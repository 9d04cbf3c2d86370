#pragma once
// The socket calls of the web server and of the simulator's TCP stream, so that both keep one copy
// of their logic for every system: POSIX sockets here (Net_linux.cpp), Winsock 2 on Windows. The
// layer owns the handle type and hides what one system has and the other lacks (MSG_NOSIGNAL,
// SOCK_CLOEXEC, accept4, the library's start-up). Failures come back as a Status: the system's own
// number (errno here, WSAGetLastError() on Windows) and, for the failures a caller acts on, their
// kind.
//
// The calls keep no state of their own but the library's count: any thread may make them, each on a
// socket it owns or on one whose handle stays reserved while it is used (see ShutdownSocket).

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Status.h"

namespace platform {

// A socket: a descriptor here, a SOCKET on Windows. Chosen by type only, so that no header needs
// the system's own.
#if defined(_WIN32)
using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};
#else
using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;
#endif

// Every handle this layer hands out holds the socket library (Winsock on Windows; nothing to start
// here) until CloseSocket: the library starts with the first handle and stops after the last, in
// one count for the whole process.

// A blocking IPv4 TCP socket that programs started by this one do not inherit (a browser must not
// hold the listener). kUnsupported when the socket library does not start.
Result<SocketHandle> OpenTcpSocket();
// Releases the handle; its number may be reused from then on.
void CloseSocket(SocketHandle socket);
// Ends both directions at once: the peer sees the end and a thread waiting on the socket wakes,
// while the handle stays reserved until CloseSocket.
void ShutdownSocket(SocketHandle socket);

// An accept on a non-blocking listener hands out nothing rather than wait.
void SetNonBlocking(SocketHandle socket);
// Binds to `port` on every IPv4 interface. A restart binds while connections of the previous
// listener linger (TIME_WAIT); a port that another socket listens on is refused.
Status BindAllIPv4(SocketHandle socket, uint16_t port);
// Starts listening with room for `backlog` connections not yet taken.
Status Listen(SocketHandle socket, int backlog);

// Takes the next connection: a socket that started programs do not inherit, non-blocking when
// `listenerNonBlocking` says SetNonBlocking was called on the listener, else blocking. Windows
// hands the listener's mode on by itself; giving it to the connection from the accept spares a
// call per connection that would switch it. kWouldBlock when none is ready, including one that
// broke down between being announced and being taken (that concerns the connection only; the
// listener may try again); never kInterrupted, which counts as kWouldBlock.
Result<SocketHandle> Accept(SocketHandle listener, bool listenerNonBlocking);

// Waits at most `timeout` (negative: without limit) until a receive, or on a listener an accept,
// would not block: bytes, a connection, the peer's end or an error. Ok then; kTimedOut,
// kInterrupted, or kFailed when the wait itself failed.
Status WaitReadable(SocketHandle socket, std::chrono::milliseconds timeout);

// Waits at most `timeout` (negative: without limit) until a send would not block: room in the
// send buffer, or an error. Ok then; kTimedOut, kInterrupted, or kFailed.
Status WaitWritable(SocketHandle socket, std::chrono::milliseconds timeout);

// Receives what has arrived, at most `capacity` bytes, the count as the value (0: the peer
// closed); blocks until something has unless the socket was made non-blocking (kWouldBlock then).
// kReset when the peer reset the connection, kClosed when this end was shut down.
Result<size_t> Receive(SocketHandle socket, char* buffer, size_t capacity);

// A send that cannot go on for `timeout` (a peer that stops reading) ends with kWouldBlock, or
// with the bytes sent so far.
void SetSendTimeout(SocketHandle socket, std::chrono::milliseconds timeout);

// Sends in one call, perhaps not all of it; the bytes sent are the value. A peer that went away
// is an error here, never a signal that ends the process.
Result<size_t> Send(SocketHandle socket, const char* data, size_t size);

struct SendPiece {
    const char* data;
    size_t size;
};
inline constexpr size_t kMaxSendPieces = 8;
// As Send, with the pieces (at most kMaxSendPieces) one after another as one stream in one call.
Result<size_t> SendGathered(SocketHandle socket, const SendPiece* pieces, size_t count);

// A connected TCP socket and where its peer is.
struct TcpConnection {
    SocketHandle socket = kInvalidSocket;
    bool onLoopback = false;  // the peer's address is this machine's loopback
};
// Connects to `port` (a number) of `address` (a name or a numeric address) over IPv4, or IPv6
// with `ipv6`, trying each address the name resolves to, and hands out a blocking socket that
// started programs do not inherit. Waits at most `timeout` for the connection, looking at
// `cancel` every few tens of milliseconds; name resolution may take as long as the system's
// resolver takes. kUnresolved, kNoServer (refused, unreachable, no answer in time), kCancelled,
// or kUnsupported when the socket library does not start.
Result<TcpConnection> ConnectTcp(const std::string& address, const std::string& port, bool ipv6,
                                 std::chrono::milliseconds timeout,
                                 const std::atomic<bool>& cancel);
// Sends small writes at once rather than gather them (Nagle's algorithm off).
void SetNoDelay(SocketHandle socket);

// The dotted-decimal IPv4 address the host name resolves to first; empty when it does not. What
// tablets are shown when no adapter has an address (platform/NetworkAdapters.h).
std::string HostNameIPv4Address();

}  // namespace platform

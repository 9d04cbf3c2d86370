#pragma once
// The socket calls the web server makes, so that web/ keeps one copy of its logic for every
// system: POSIX sockets here (Net_posix.cpp), Winsock 2 on Windows. The layer owns the handle type
// and hides what one system has and the other lacks (MSG_NOSIGNAL, SOCK_CLOEXEC, accept4, the
// library's start-up). Error numbers are the system's own (errno here, WSAGetLastError() on
// Windows); the failures a caller acts on are sorted out for it.
//
// The calls keep no state of their own: any thread may make them, each on a socket it owns or on
// one whose handle stays reserved while it is used (see ShutdownSocket).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

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

// How a call that moves bytes or takes a connection came out.
enum class NetStatus {
    kOk,
    kWouldBlock,   // nothing could be done without waiting (or a send time-out passed)
    kInterrupted,  // a signal ended the call before it did anything; it may be made again
    kFailed,       // anything else; `error` says what
};

struct NetResult {
    NetStatus status = NetStatus::kOk;
    size_t bytes = 0;  // moved by a call that succeeded; a receive of 0 bytes: the peer closed
    int error = 0;     // the system's number for a failure, else 0
};

// Starts the socket library (WSAStartup on Windows, nothing here): 0, or the system's error
// number. Socket counts its live objects and calls these for the first and after the last.
int StartNetLibrary();
void StopNetLibrary();

// A blocking IPv4 TCP socket that programs started by this one do not inherit (a browser must not
// hold the listener). kInvalidSocket, with the system's number in `error`, when none can be made.
SocketHandle OpenTcpSocket(int& error);
// Releases the handle; its number may be reused from then on.
void CloseSocket(SocketHandle socket);
// Ends both directions at once: the peer sees the end and a thread waiting on the socket wakes,
// while the handle stays reserved until CloseSocket.
void ShutdownSocket(SocketHandle socket);

// An accept on a non-blocking listener hands out nothing rather than wait.
void SetNonBlocking(SocketHandle socket);
// Binds to `port` on every IPv4 interface: 0, or the system's error number. A restart binds while
// connections of the previous listener linger (TIME_WAIT); a port that another socket listens on
// is refused.
int BindAllIPv4(SocketHandle socket, uint16_t port);
void Listen(SocketHandle socket, int backlog);

struct AcceptResult {
    SocketHandle socket = kInvalidSocket;
    NetStatus status = NetStatus::kOk;  // never kInterrupted: that counts as kWouldBlock
    int error = 0;
};
// Takes the next connection: a blocking socket that started programs do not inherit. kWouldBlock
// when none is ready, including one that broke down between being announced and being taken
// (that concerns the connection only; the listener may try again). `listenerNonBlocking` says
// whether SetNonBlocking was called on the listener: Windows hands its mode on to the connection,
// which then has to be switched back, a call spared for a blocking listener.
AcceptResult Accept(SocketHandle listener, bool listenerNonBlocking);

enum class WaitResult { kReady, kTimedOut, kInterrupted, kFailed };
// Waits at most `timeout` (negative: without limit) until a receive, or on a listener an accept,
// would not block: bytes, a connection, the peer's end or an error.
WaitResult WaitReadable(SocketHandle socket, std::chrono::milliseconds timeout);

// Receives what has arrived, at most `capacity` bytes; blocks until something has unless the socket
// was made non-blocking (kWouldBlock then).
NetResult Receive(SocketHandle socket, char* buffer, size_t capacity);

// A send that cannot go on for `timeout` (a peer that stops reading) ends with kWouldBlock, or
// with the bytes sent so far.
void SetSendTimeout(SocketHandle socket, std::chrono::milliseconds timeout);

// Sends in one call, perhaps not all of it. A peer that went away is an error here, never a
// signal that ends the process.
NetResult Send(SocketHandle socket, const char* data, size_t size);

struct SendPiece {
    const char* data;
    size_t size;
};
inline constexpr size_t kMaxSendPieces = 8;
// As Send, with the pieces (at most kMaxSendPieces) one after another as one stream in one call.
NetResult SendGathered(SocketHandle socket, const SendPiece* pieces, size_t count);

// The system's words for a socket error number.
std::string NetErrorText(int error);

// The dotted-decimal IPv4 address under which other machines of the local network reach this
// one: the first of an interface that is up and not the loopback, else the one the host name
// resolves to. Empty when neither is found.
std::string LocalIPv4Address();

}  // namespace platform

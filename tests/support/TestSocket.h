#pragma once
// Raw loopback sockets for the tests' own clients and listeners, so that a test talks to a server
// byte for byte as a browser or a simulator would, and plays a server of its own, on every system:
// POSIX sockets here (TestSocket_linux.cpp), Winsock 2 on Windows (TestSocket_win32.cpp). Every
// wait is bounded; no socket is inherited by programs the test starts.

#include <chrono>
#include <cstddef>
#include <string>

#include "platform/Net.h"

namespace txtest {

using platform::SocketHandle;

// A blocking TCP connection to `address` ("127.0.0.1" or "::1") and `port`. kInvalidSocket when
// it is refused or the address is not a numeric loopback one.
SocketHandle ConnectLoopback(const std::string& address, int port);
// Starts a TCP connection to `address` and `port` without waiting for it to be made;
// kInvalidSocket when not even that works.
SocketHandle StartConnectLoopback(const std::string& address, int port);
// A socket bound to `address` and a port the system picks (written to `port`) that never listens:
// a connection there is refused, and while it is held no other socket can take the port.
// kInvalidSocket when none can be made.
SocketHandle BindLoopback(const std::string& address, int& port);
// A listener on `address` and a port the system picks (written to `port`), with `backlog`.
// kInvalidSocket when none can be made.
SocketHandle ListenLoopback(const std::string& address, int backlog, int& port);
// The next connection on `listener`, waited for at most `timeout`; kInvalidSocket when none came.
SocketHandle AcceptWithin(SocketHandle listener, std::chrono::milliseconds timeout);
// True when a receive would return at once within `timeout`: bytes, the peer's end or an error.
bool WaitReadable(SocketHandle socket, std::chrono::milliseconds timeout);
// One receive of at most `capacity` bytes: their number, 0 when the peer ended the connection in
// order, -1 on an error (a reset among them); `reset` tells a reset apart when not null.
long ReceiveSome(SocketHandle socket, char* buffer, size_t capacity, bool* reset = nullptr);
void CloseTestSocket(SocketHandle socket);
// True while some socket listens on TCP `port` of any IPv4 interface: a bind there is refused.
bool PortIsListening(int port);

}  // namespace txtest

#pragma once
// Loopback sockets for the tests' own clients and listeners, so that a test talks to a server byte
// for byte as a browser or a simulator would, and plays a server of its own, on every system. Built
// on the product's socket calls (platform/Net.h), but for a bind to one address and a connect that
// does not wait, which the product never needs. Every wait is bounded; no socket is inherited by
// programs the test starts.

#include <chrono>
#include <cstddef>
#include <string>

#include "platform/Net.h"

namespace txtest {

using platform::SocketHandle;

// A blocking TCP connection to `address` ("127.0.0.1" or "::1") and `port`. kInvalidSocket when
// it is refused.
SocketHandle ConnectLoopback(const std::string& address, int port);
// Starts a TCP connection to IPv4 `address` and `port` without waiting for it to be made;
// kInvalidSocket when no socket can be made.
SocketHandle StartConnectLoopback(const std::string& address, int port);
// A listener on IPv4 `address` and a port the system picks (written to `port`), with `backlog`.
// kInvalidSocket when none can be made.
SocketHandle ListenLoopback(const std::string& address, int backlog, int& port);
// The next connection on `listener`, waited for at most `timeout`; kInvalidSocket when none came.
SocketHandle AcceptWithin(SocketHandle listener, std::chrono::milliseconds timeout);
// True when a receive would return at once within `timeout`: bytes, the peer's end or an error.
bool WaitReadable(SocketHandle socket, std::chrono::milliseconds timeout);
// One receive of at most `capacity` bytes: their number, 0 when the peer ended the connection in
// order, -1 on an error (a reset among them).
long ReceiveSome(SocketHandle socket, char* buffer, size_t capacity);
void CloseTestSocket(SocketHandle socket);
// True while some socket listens on TCP `port` of any IPv4 interface: a bind there is refused.
bool PortIsListening(int port);

// A loopback TCP port that nobody serves for as long as the object lives: a socket of the test
// holds it bound and never listens, so a connection there is refused at once and no other
// program (a stand-in left behind, a developer's own run) can take the port meanwhile.
class UnservedPort {
  public:
    UnservedPort();
    ~UnservedPort() { CloseTestSocket(m_socket); }
    UnservedPort(const UnservedPort&) = delete;
    UnservedPort& operator=(const UnservedPort&) = delete;
    // The port on 127.0.0.1; 0 when none could be held.
    int port() const { return m_port; }

  private:
    int m_port = 0;  // before m_socket: the bind writes it
    SocketHandle m_socket;
};

}  // namespace txtest

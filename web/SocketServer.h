#pragma once
// A Socket that listens on a TCP port of every IPv4 interface and hands out the connections it
// accepts as new Socket objects.

#include <chrono>
#include <cstdint>
#include <memory>

#include "web/Socket.h"

class SocketServer : public Socket {
  public:
    // Listens on `port` (its low 16 bits) with `backlog` pending connections; `type` 1 makes the
    // listener non-blocking, any other value leaves it blocking. Throws kSocketErrorCreate when
    // the socket cannot be made or bound (for example when another socket listens on the port).
    SocketServer(uint32_t port, int backlog, int type);
    ~SocketServer() override;

    // Waits up to `timeout` for a connection to become ready. True when Accept() would not block.
    bool WaitForClient(std::chrono::milliseconds timeout);

    // The next connection, owned by the caller. Null when none is pending on a non-blocking
    // listener (LastAcceptWouldBlock() then tells so) or when no memory can be had. Throws
    // kSocketErrorAccept on any other failure, and at once once Close() was called (LastError()
    // is then 0).
    std::unique_ptr<Socket> Accept();
    // True when the last Accept() came back empty because no connection was ready, including a
    // connection that failed between being announced and being taken (the caller may try again).
    bool LastAcceptWouldBlock() const { return m_bLastAcceptWouldBlock; }

  private:
    const bool m_bNonBlocking;             // fixed at construction
    bool m_bLastAcceptWouldBlock = false;  // the accepting thread only
};

#pragma once
// A Socket that listens on a TCP port of every IPv4 interface and hands out the connections it
// accepts as new Socket objects.

#include <chrono>
#include <cstdint>
#include <memory>

#include "web/Socket.h"

namespace web {

class SocketServer : public Socket {
  public:
    // Listens on `port` (its low 16 bits) with `backlog` pending connections; `type` 1 makes the
    // listener non-blocking, any other value leaves it blocking. kUnsupported when the socket
    // library does not start; the system's failure when the socket cannot be made or bound (for
    // example when another socket listens on the port).
    static platform::Result<std::unique_ptr<SocketServer>> Listen(uint32_t port, int backlog,
                                                                  int type);
    ~SocketServer() override;

    // Waits up to `timeout` for a connection to become ready. True when Accept() would not block.
    bool WaitForClient(std::chrono::milliseconds timeout);

    // The next connection, owned by the caller; null when no memory can be had for it. It does not
    // block when the listener does not, and blocks when the listener does. kWouldBlock
    // when none is pending on a non-blocking listener, including a connection that failed between
    // being announced and being taken (the caller may try again); kClosed, with no system number,
    // at once once Close() was called; any other failure as the system gave it.
    platform::Result<std::unique_ptr<Socket>> Accept();

  private:
    SocketServer(platform::SocketHandle handle, bool nonBlocking)
        : Socket(handle), m_bNonBlocking(nonBlocking) {}

    const bool m_bNonBlocking;  // fixed at construction
};

}  // namespace web

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
    // Listens on `port` (its low 16 bits) with `backlog` pending connections, without blocking:
    // the server's one wait covers the listener. kUnsupported when the socket library does not
    // start; the system's failure when the socket cannot be made, bound (for example when
    // another socket listens on the port) or put to listening.
    static platform::Result<std::unique_ptr<SocketServer>> Listen(uint32_t port, int backlog);
    ~SocketServer() override;

    // The next connection, owned by the caller; null when no memory can be had for it. It does not
    // block. kWouldBlock when none is pending, including a connection that failed between being
    // announced and being taken (the caller may try again); kClosed, with no system number, at
    // once once Close() was called; any other failure as the system gave it.
    platform::Result<std::unique_ptr<Socket>> Accept();

  private:
    explicit SocketServer(platform::SocketHandle handle) : Socket(handle) {}
};

}  // namespace web

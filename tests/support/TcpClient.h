#pragma once
// A plain blocking TCP client on the loopback interface, for tests that talk to a server the way
// a browser would, byte for byte. The same on every system (over TestSocket.h).

#include <chrono>
#include <string>

#include "tests/support/TestSocket.h"
#include "tests/support/TestSupport.h"

namespace txtest {

class TcpClient {
  public:
    TcpClient() = default;
    ~TcpClient() { Close(); }
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // Connects to 127.0.0.1:`port`. Succeeds as soon as the connection is in the listener's
    // queue, whether or not the server has accepted it yet.
    bool Connect(int port) {
        Close();
        m_socket = ConnectLoopback("127.0.0.1", port);
        return m_socket != platform::kInvalidSocket;
    }
    bool Send(const std::string& bytes) {
        return SendAllBytes(m_socket, bytes.data(), bytes.size());
    }
    // Everything received until the peer closes or `timeout` passes; `closed` tells which.
    std::string ReadUntilClosed(std::chrono::milliseconds timeout, bool* closed = nullptr);
    void Close() {
        CloseTestSocket(m_socket);
        m_socket = platform::kInvalidSocket;
    }

  private:
    SocketHandle m_socket = platform::kInvalidSocket;
};

}  // namespace txtest

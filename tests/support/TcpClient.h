#pragma once
// A plain blocking TCP client on the loopback interface, for tests that talk to a server the way
// a browser would, byte for byte.

#include <chrono>
#include <string>

namespace txtest {

class TcpClient {
public:
    TcpClient() = default;
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // Connects to 127.0.0.1:`port`. Succeeds as soon as the connection is in the listener's
    // queue, whether or not the server has accepted it yet.
    bool Connect(int port);
    bool Send(const std::string& bytes);
    // Everything received until the peer closes or `timeout` passes; `closed` tells which.
    std::string ReadUntilClosed(std::chrono::milliseconds timeout, bool* closed = nullptr);
    // True when no byte and no close arrives within `period`.
    bool StaysSilent(std::chrono::milliseconds period);
    void Close();
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
};

}  // namespace txtest

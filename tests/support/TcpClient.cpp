#include "tests/support/TcpClient.h"

#include "tests/support/TestSupport.h"

namespace txtest {

TcpClient::~TcpClient() {
    Close();
}

bool TcpClient::Connect(int port) {
    Close();
    m_socket = ConnectLoopback("127.0.0.1", port);
    return m_socket != platform::kInvalidSocket;
}

bool TcpClient::Send(const std::string& bytes) {
    return SendAllBytes(m_socket, bytes.data(), bytes.size());
}

std::string TcpClient::ReadUntilClosed(std::chrono::milliseconds timeout, bool* closed) {
    std::string data;
    if (closed != nullptr) *closed = false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitReadable(m_socket, left)) return data;
        char buffer[4096];
        const long n = ReceiveSome(m_socket, buffer, sizeof buffer);
        if (n <= 0) {
            if (closed != nullptr) *closed = true;
            return data;
        }
        data.append(buffer, static_cast<size_t>(n));
    }
}

void TcpClient::Close() {
    CloseTestSocket(m_socket);
    m_socket = platform::kInvalidSocket;
}

}  // namespace txtest

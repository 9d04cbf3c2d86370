#include "tests/support/TcpClient.h"

namespace txtest {

std::string TcpClient::ReadUntilClosed(std::chrono::milliseconds timeout, bool* closed) {
    using std::chrono::steady_clock;
    const auto deadline = steady_clock::now() + timeout;
    std::string data;
    char buffer[64 * 1024];
    long got = 1;  // the last receive's count: none once the peer has closed
    while (got > 0 && steady_clock::now() < deadline &&
           WaitReadable(m_socket, std::chrono::ceil<std::chrono::milliseconds>(
                                      deadline - steady_clock::now()))) {
        got = ReceiveSome(m_socket, buffer, sizeof buffer);
        if (got > 0) data.append(buffer, static_cast<size_t>(got));
    }
    if (closed != nullptr) *closed = got <= 0;
    return data;
}

}  // namespace txtest

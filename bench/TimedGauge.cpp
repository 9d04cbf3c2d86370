#include "bench/TimedGauge.h"

#include <algorithm>

#include "tests/support/TestSocket.h"
#include "tests/support/TestSupport.h"

namespace txbench {

TimedGauge::TimedGauge(int* port) {
    m_listener = txtest::ListenLoopback("127.0.0.1", 4, *port);
}

TimedGauge::~TimedGauge() {
    txtest::CloseTestSocket(m_connection);
    txtest::CloseTestSocket(m_listener);
}

bool TimedGauge::Accept(std::chrono::milliseconds timeout) {
    if (!Listening()) return false;
    const platform::SocketHandle next = txtest::AcceptWithin(m_listener, timeout);
    if (next == platform::kInvalidSocket) return false;
    txtest::CloseTestSocket(m_connection);
    m_connection = next;
    platform::SetNoDelay(m_connection);  // ignored on a Unix-domain socket
    return true;
}

bool TimedGauge::Send(const std::string& bytes) {
    return txtest::SendAllBytes(m_connection, bytes.data(), bytes.size());
}

std::optional<Clock::time_point> TimedGauge::Receive(size_t count,
                                                     std::chrono::milliseconds timeout,
                                                     std::string* bytes) {
    const auto until = Clock::now() + timeout;
    size_t got = 0;
    char buffer[64];
    while (got < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() < 0) return std::nullopt;
        if (!txtest::WaitReadable(m_connection, left + std::chrono::milliseconds(1)))
            return std::nullopt;
        const long n =
            txtest::ReceiveSome(m_connection, buffer, std::min(sizeof buffer, count - got));
        if (n <= 0) return std::nullopt;
        got += static_cast<size_t>(n);
        if (bytes != nullptr) bytes->append(buffer, static_cast<size_t>(n));
    }
    return Clock::now();
}

void TimedGauge::Drain() {
    char buffer[256];
    while (m_connection != platform::kInvalidSocket &&
           txtest::WaitReadable(m_connection, std::chrono::milliseconds(0)) &&
           txtest::ReceiveSome(m_connection, buffer, sizeof buffer) > 0) {
    }
}

}  // namespace txbench

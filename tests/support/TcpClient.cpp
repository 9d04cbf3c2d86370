#include "tests/support/TcpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "tests/support/TestSupport.h"

namespace txtest {

TcpClient::~TcpClient() { Close(); }

bool TcpClient::Connect(int port) {
    Close();
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Close();
        return false;
    }
    return true;
}

bool TcpClient::Send(const std::string& bytes) {
    return SendAllBytes(m_fd, bytes.data(), bytes.size());
}

std::string TcpClient::ReadUntilClosed(std::chrono::milliseconds timeout, bool* closed) {
    std::string data;
    if (closed != nullptr) *closed = false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return data;
        pollfd entry{m_fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return data;
        char buffer[4096];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (closed != nullptr) *closed = true;
            return data;
        }
        data.append(buffer, static_cast<size_t>(n));
    }
}

bool TcpClient::StaysSilent(std::chrono::milliseconds period) {
    pollfd entry{m_fd, POLLIN, 0};
    return ::poll(&entry, 1, static_cast<int>(period.count())) == 0;
}

void TcpClient::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

}  // namespace txtest

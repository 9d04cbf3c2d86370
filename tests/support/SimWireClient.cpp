#include "tests/support/SimWireClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "tests/support/TestSupport.h"

namespace txtest {

SimWireClient::~SimWireClient() {
    Close();
}

bool SimWireClient::Connect(const std::string& address, int port) {
    Close();
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        length = sizeof(*v4);
    } else if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        length = sizeof(*v6);
    } else {
        return false;
    }
    m_fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) return false;
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0) {
        Close();
        return false;
    }
    return true;
}

uint32_t SimWireClient::Send(const simconnect::RequestBody& body) {
    const uint32_t sendId = m_nextSendId++;
    SendBytes(simconnect::EncodeRequest(m_protocol, sendId, body));
    return sendId;
}

uint32_t SimWireClient::SendOpen(uint32_t protocol, const std::string& appName) {
    m_protocol = protocol;
    return Send(simconnect::OpenRequestFor(*simconnect::FindRelease(protocol), appName));
}

bool SimWireClient::SendBytes(const std::vector<uint8_t>& bytes) {
    return SendAllBytes(m_fd, bytes.data(), bytes.size());
}

bool SimWireClient::Receive(std::chrono::milliseconds timeout) {
    if (m_fd < 0 || m_ended) return false;
    pollfd waiter{m_fd, POLLIN, 0};
    const int ready = ::poll(&waiter, 1, static_cast<int>(timeout.count()));
    if (ready == 0) return true;
    if (ready < 0) return errno == EINTR;
    uint8_t chunk[65536];
    const ssize_t n = ::recv(m_fd, chunk, sizeof(chunk), 0);
    if (n > 0) {
        m_input.insert(m_input.end(), chunk, chunk + n);
        return true;
    }
    if (n < 0 && errno == EINTR) return true;
    m_ended = true;
    m_reset = n < 0 && errno == ECONNRESET;
    return false;
}

std::optional<std::vector<uint8_t>> SimWireClient::Read(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (m_input.size() >= 4) {
            const uint32_t size = simconnect::ReadU32(m_input.data());
            if (size < 4) return std::nullopt;  // no whole message can follow such a word
            if (m_input.size() >= size) {
                std::vector<uint8_t> message(m_input.begin(), m_input.begin() + size);
                m_input.erase(m_input.begin(), m_input.begin() + size);
                return message;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !Receive(left)) return std::nullopt;
    }
}

std::optional<std::vector<uint8_t>> SimWireClient::ReadId(uint32_t id,
                                                          std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        auto message = Read(left);
        if (!message) return std::nullopt;
        if (message->size() >= 12 && simconnect::ReadU32(message->data() + 8) == id) return message;
    }
}

std::vector<uint8_t> SimWireClient::ReadBytes(size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_input.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !Receive(left)) break;
    }
    const size_t taken = std::min(count, m_input.size());
    std::vector<uint8_t> bytes(m_input.begin(), m_input.begin() + taken);
    m_input.erase(m_input.begin(), m_input.begin() + taken);
    return bytes;
}

bool SimWireClient::WaitClosed(std::chrono::milliseconds timeout, bool* reset) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!m_ended && m_input.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        Receive(left);
    }
    if (reset != nullptr) *reset = m_reset;
    return m_ended && m_input.empty();
}

void SimWireClient::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_input.clear();
    m_ended = false;
    m_reset = false;
}

}  // namespace txtest

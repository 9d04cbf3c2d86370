#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "tests/support/GaugeEnd.h"

namespace txtest {

struct GaugeEnd::State {
    int listener = -1;
    int connection = -1;
    bool listening = false;
};

GaugeEnd::GaugeEnd(const std::string& path) : m_state(std::make_unique<State>()) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    m_state->listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    m_state->listening =
        m_state->listener >= 0 &&
        ::bind(m_state->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(m_state->listener, 4) == 0;
}

GaugeEnd::~GaugeEnd() {
    if (m_state->connection >= 0) ::close(m_state->connection);
    if (m_state->listener >= 0) ::close(m_state->listener);
}

bool GaugeEnd::listening() const {
    return m_state->listening;
}

bool GaugeEnd::Accept() {
    pollfd ready{m_state->listener, POLLIN, 0};
    if (::poll(&ready, 1, 5000) != 1) return false;
    m_state->connection = ::accept(m_state->listener, nullptr, nullptr);
    return m_state->connection >= 0;
}

std::string GaugeEnd::Read(size_t count) {
    std::string bytes;
    while (bytes.size() < count) {
        pollfd ready{m_state->connection, POLLIN, 0};
        if (::poll(&ready, 1, 5000) != 1) break;
        char buffer[64];
        const ssize_t n =
            ::read(m_state->connection, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

}  // namespace txtest

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "tests/support/GaugeEnd.h"

namespace txtest {

// Connections the program makes wait in the listen queue until Accept() takes one; the queue
// holds two, so a test can fill it and see the pipe busy.
struct GaugeEnd::State {
    std::string path;
    int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int connection = -1;
    bool ended = false;

    void Drop() {
        if (connection >= 0) ::close(connection);
        connection = -1;
    }
};

GaugeEnd::GaugeEnd(const std::string& path) : m_state(std::make_unique<State>()) {
    m_state->path = path;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ::unlink(path.c_str());
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::bind(m_state->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        ::listen(m_state->listener, 1);
}

// As a gauge that crashed: the socket file stays behind.
GaugeEnd::~GaugeEnd() {
    m_state->Drop();
    ::close(m_state->listener);
}

bool GaugeEnd::Accept() {
    pollfd ready{m_state->listener, POLLIN, 0};
    if (::poll(&ready, 1, 5000) != 1) return false;
    m_state->Drop();
    m_state->connection = ::accept4(m_state->listener, nullptr, nullptr, SOCK_CLOEXEC);
    m_state->ended = false;
    return m_state->connection >= 0;
}

std::string GaugeEnd::Read(size_t count) {
    std::string bytes;
    char buffer[4096];
    for (pollfd ready{m_state->connection, POLLIN, 0};
         m_state->connection >= 0 && bytes.size() < count && ::poll(&ready, 1, 5000) == 1;) {
        const ssize_t n =
            ::read(m_state->connection, buffer, std::min(sizeof buffer, count - bytes.size()));
        m_state->ended = n == 0;
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

bool GaugeEnd::ended() const {
    return m_state->ended;
}

void GaugeEnd::Restart() {
    m_state->Drop();
}

void GaugeEnd::Leave() {
    m_state->Drop();
    ::close(m_state->listener);
    m_state->listener = -1;
    ::unlink(m_state->path.c_str());
}

}  // namespace txtest

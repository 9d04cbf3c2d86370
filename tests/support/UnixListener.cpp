#include "tests/support/UnixListener.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "tests/support/TestSupport.h"

namespace txtest {

UnixListener::UnixListener(std::string path, int backlog) : m_path(std::move(path)) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(m_path).parent_path(), ignored);
    ::unlink(m_path.c_str());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_path.size() >= sizeof address.sun_path) return;
    std::memcpy(address.sun_path, m_path.c_str(), m_path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, backlog) != 0) {
        ::close(fd);
        return;
    }
    m_listener = fd;
    m_thread = std::thread([this] { Serve(); });
}

UnixListener::~UnixListener() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_listener >= 0) {
        ::close(m_listener);
        ::unlink(m_path.c_str());
    }
}

void UnixListener::Serve() {
    std::vector<int> fds;         // open accepted connections
    std::vector<size_t> indexes;  // their entries in m_connections
    while (!m_stop) {
        if (m_dropRequests.load() != m_dropsDone.load()) {
            for (int fd : fds) ::close(fd);
            fds.clear();
            indexes.clear();
            m_dropsDone = m_dropRequests.load();
        }
        std::vector<pollfd> polled{{m_listener, POLLIN, 0}};
        for (int fd : fds) polled.push_back({fd, POLLIN, 0});
        if (::poll(polled.data(), polled.size(), 10) <= 0) continue;
        if (polled[0].revents & POLLIN) {
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                platform::MutexLock lock(m_mutex);
                fds.push_back(client);
                indexes.push_back(m_connections.size());
                m_connections.emplace_back();
            }
        }
        for (size_t i = 1; i < polled.size(); ++i) {
            if (polled[i].revents == 0) continue;
            const size_t slot = i - 1;
            char buffer[4096];
            const ssize_t count = ::read(fds[slot], buffer, sizeof buffer);
            platform::MutexLock lock(m_mutex);
            if (count > 0) {
                m_connections[indexes[slot]].bytes.append(buffer, static_cast<size_t>(count));
            } else if (count == 0) {
                m_connections[indexes[slot]].ended = true;
                ::close(fds[slot]);
                fds[slot] = -1;
            }
        }
        for (size_t i = fds.size(); i-- > 0;) {
            if (fds[i] < 0) {
                fds.erase(fds.begin() + static_cast<long>(i));
                indexes.erase(indexes.begin() + static_cast<long>(i));
            }
        }
    }
    for (int fd : fds) ::close(fd);
}

std::vector<UnixListener::Connection> UnixListener::Connections() {
    platform::MutexLock lock(m_mutex);
    return m_connections;
}

std::string UnixListener::AllBytes() {
    std::string all;
    for (const Connection& connection : Connections()) all += connection.bytes;
    return all;
}

size_t UnixListener::ConnectionCount() {
    platform::MutexLock lock(m_mutex);
    return m_connections.size();
}

void UnixListener::DropConnections() {
    const int request = ++m_dropRequests;
    WaitUntil([&] { return m_dropsDone.load() >= request; }, std::chrono::seconds(5));
}

bool UnixListener::WaitFor(const std::function<bool(const std::vector<Connection>&)>& condition,
                           std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return condition(Connections()); }, timeout);
}

}  // namespace txtest

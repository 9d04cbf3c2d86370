#include "tools/gauge-standin/GaugeServer.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

bool MakeAddress(const std::string& path, sockaddr_un* address) {
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address->sun_path) return false;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

GaugeServer::GaugeServer(std::string socketPath, GaugeLog& log, KeyHandler onKey)
    : m_path(std::move(socketPath)), m_log(log), m_messages(log, std::move(onKey)) {}

GaugeServer::~GaugeServer() {
    if (m_client >= 0) ::close(m_client);
    if (m_listener >= 0) {
        ::close(m_listener);
        // A newer gauge may have taken the path over meanwhile: leave its socket alone.
        struct stat info {};
        if (::lstat(m_path.c_str(), &info) == 0 && info.st_dev == m_device &&
            info.st_ino == m_inode) {
            ::unlink(m_path.c_str());
        }
    }
}

bool GaugeServer::PrepareFolder() {
    const size_t slash = m_path.rfind('/');
    if (slash == std::string::npos || slash == 0) return true;
    const std::string folder = m_path.substr(0, slash);
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return true;
        m_log.Line("GAUGE: %s is not a folder", folder.c_str());
        return false;
    }
    // Only the pipe's own folder is made; the runtime folder above it belongs to the session.
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        m_log.Line("GAUGE: cannot create the folder %s: %s", folder.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

bool GaugeServer::TakeOverOldSocket() {
    struct stat info {};
    if (::lstat(m_path.c_str(), &info) != 0) return true;  // nothing there
    if (!S_ISSOCK(info.st_mode)) {
        m_log.Line("GAUGE: %s exists and is not a socket; not touching it", m_path.c_str());
        return false;
    }
    sockaddr_un address{};
    MakeAddress(m_path, &address);
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (probe < 0) {
        m_log.Line("GAUGE: socket() failed: %s", std::strerror(errno));
        return false;
    }
    const int result =
        ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int error = errno;
    ::close(probe);
    if (result == 0 || error == EAGAIN) {
        m_log.Line("GAUGE: another gauge listens on %s; not taking it over", m_path.c_str());
        return false;
    }
    if (error != ECONNREFUSED) {
        m_log.Line("GAUGE: cannot check %s: %s", m_path.c_str(), std::strerror(error));
        return false;
    }
    // Left behind by a gauge that died without cleaning up.
    if (::unlink(m_path.c_str()) != 0 && errno != ENOENT) {
        m_log.Line("GAUGE: cannot remove the stale socket %s: %s", m_path.c_str(),
                   std::strerror(errno));
        return false;
    }
    m_log.Line("GAUGE: removed the stale socket %s", m_path.c_str());
    return true;
}

bool GaugeServer::Listen() {
    sockaddr_un address{};
    if (!MakeAddress(m_path, &address)) {
        m_log.Line("GAUGE: unusable socket path '%s'", m_path.c_str());
        return false;
    }
    if (!PrepareFolder() || !TakeOverOldSocket()) return false;
    m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0) {
        m_log.Line("GAUGE: socket() failed: %s", std::strerror(errno));
        return false;
    }
    if (::bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        m_log.Line("GAUGE: cannot bind %s: %s", m_path.c_str(), std::strerror(errno));
        ::close(m_listener);
        m_listener = -1;
        return false;
    }
    struct stat info {};
    if (::lstat(m_path.c_str(), &info) == 0) {
        m_device = info.st_dev;
        m_inode = info.st_ino;
    }
    if (::listen(m_listener, 4) != 0) {
        m_log.Line("GAUGE: cannot listen on %s: %s", m_path.c_str(), std::strerror(errno));
        return false;  // the destructor removes the file
    }
    m_log.Line("GAUGE: listening on %s", m_path.c_str());
    return true;
}

void GaugeServer::Run(int stopFd) {
    for (;;) {
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {m_client >= 0 ? m_client : m_listener, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            m_log.Line("GAUGE: poll failed: %s", std::strerror(errno));
            return;
        }
        if (fds[0].revents != 0) return;
        if (fds[1].revents == 0) continue;
        if (m_client >= 0) {
            ReadClient();
        } else {
            Accept();
        }
    }
}

void GaugeServer::Accept() {
    const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
        if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED)
            m_log.Line("GAUGE: accept failed: %s", std::strerror(errno));
        return;
    }
    m_client = client;
    m_messages.Reset();
    m_log.Line("GAUGE: program connected (connection %d)", ++m_connections);
}

void GaugeServer::DropClient() {
    if (m_client >= 0) ::close(m_client);
    m_client = -1;
    m_messages.Reset();
}

void GaugeServer::ReadClient() {
    uint8_t buffer[256];
    const ssize_t count = ::read(m_client, buffer, sizeof buffer);
    if (count < 0) {
        if (errno == EINTR || errno == EAGAIN) return;
        m_log.Line("GAUGE: read failed: %s; connection dropped", std::strerror(errno));
        DropClient();
        return;
    }
    if (count == 0) {
        m_messages.End();
        m_log.Line("GAUGE: program closed the connection");
        DropClient();
        return;
    }
    if (m_messages.Feed(buffer, static_cast<size_t>(count)) == GaugeMessages::Outcome::kDrop)
        DropClient();
}

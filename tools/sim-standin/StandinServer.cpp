#include "StandinServer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstring>

#include "Listeners.h"
#include "SimVariables.h"
#include "simconnect/SimConnect.h"

namespace {

constexpr int kTickMs = 100;
// A client that does not read for this long is dropped rather than stall the stand-in.
constexpr int kSendTimeoutSeconds = 1;

}  // namespace

StandinServer::StandinServer(StandinOptions options)
    : m_options(std::move(options)), m_defaultAddresses(m_options.addresses.empty()) {
    if (m_defaultAddresses) m_options.addresses = {"127.0.0.1", "::1"};
}

StandinServer::~StandinServer() {
    for (Client& client : m_clients)
        if (client.fd >= 0) ::close(client.fd);
    for (Control& control : m_controls)
        if (control.fd >= 0) ::close(control.fd);
    for (int fd : m_listenFds) ::close(fd);
    if (m_controlFd >= 0) {
        ::close(m_controlFd);
        ::unlink(m_options.controlPath.c_str());
    }
    if (m_log != stdout && m_log != nullptr) std::fclose(m_log);
}

void StandinServer::Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(m_log, format, args);
    va_end(args);
    std::fputc('\n', m_log);
    std::fflush(m_log);
}

double StandinServer::Now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool StandinServer::OpenListeners(std::string* error) {
    // The default pair tolerates one family missing here (IPv6 switched off in a container);
    // addresses given by hand must all work.
    std::string where;
    for (const std::string& address : m_options.addresses) {
        int fd = -1;
        std::string reason;
        const auto result = standin::ListenTcp(address, m_options.port, &fd, &reason);
        if (result == standin::ListenResult::Ok) {
            m_listenFds.push_back(fd);
            where +=
                (where.empty() ? "" : " and ") + standin::EndpointName(address, m_options.port);
            continue;
        }
        if (result == standin::ListenResult::Unavailable && m_defaultAddresses) {
            Log("standin: %s; serving without it", reason.c_str());
            continue;
        }
        *error = reason;
        return false;
    }
    if (m_listenFds.empty()) {
        *error = "no address to listen on for clients";
        return false;
    }
    m_controlFd = standin::ListenUnix(m_options.controlPath, error);
    if (m_controlFd < 0) return false;
    Log("standin: up; window %s; clients at %s; control at %s",
        m_options.window ? "shown" : "hidden", where.c_str(), m_options.controlPath.c_str());
    return true;
}

bool StandinServer::Start(std::string* error) {
    if (!m_options.logPath.empty()) {
        m_log = std::fopen(m_options.logPath.c_str(), "w");
        if (m_log == nullptr) {
            m_log = stdout;
            *error = "cannot write the log " + m_options.logPath;
            return false;
        }
    }
    if (m_options.window && !m_window.TryLock(m_options.lockPath)) {
        *error = "the main-window lock " + m_options.lockPath + " is held by another simulator";
        return false;
    }
    return OpenListeners(error);
}

int StandinServer::Run(int stopFd) {
    m_lastTick = Now();
    while (!m_quit) {
        std::vector<pollfd> fds;
        fds.push_back({stopFd, POLLIN, 0});
        fds.push_back({m_controlFd, POLLIN, 0});
        for (int fd : m_listenFds) fds.push_back({fd, POLLIN, 0});
        for (const Control& control : m_controls) fds.push_back({control.fd, POLLIN, 0});
        for (const Client& client : m_clients) fds.push_back({client.fd, POLLIN, 0});
        const int ready = ::poll(fds.data(), fds.size(), kTickMs);
        if (ready < 0 && errno != EINTR) {
            Log("standin: poll failed: %s", std::strerror(errno));
            return 1;
        }
        if (ready > 0) {
            if (fds[0].revents != 0) {
                Log("standin: signal received");
                Quit();
                break;
            }
            if (fds[1].revents & POLLIN) AcceptControl();
            size_t at = 2;
            for (int fd : m_listenFds)
                if (fds[at++].revents & POLLIN) AcceptClient(fd);
            // The lists only grow at their ends above, so the poll entries still line up.
            for (Control& control : m_controls) {
                if (at < fds.size() && fds[at].fd == control.fd && fds[at].revents != 0)
                    ReadControl(control);
                ++at;
                if (m_quit) break;
            }
            for (Client& client : m_clients) {
                if (m_quit) break;
                if (at < fds.size() && fds[at].fd == client.fd && fds[at].revents != 0 &&
                    !client.closed)
                    ReadClient(client);
                ++at;
            }
        }
        m_controls.remove_if([](const Control& control) { return control.closed; });
        m_clients.remove_if([](const Client& client) { return client.closed; });
        if (!m_quit) Tick();
    }
    return 0;
}

void StandinServer::AcceptClient(int listenFd) {
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED)
            Log("standin: accept failed: %s", std::strerror(errno));
        return;
    }
    const std::string peer = standin::PeerName(fd);
    if (!m_window.IsLocked()) {
        // Without its main window the simulator is starting or ending: no new clients. Those
        // already connected stay.
        Log("client %d: refused (no main window) from %s", m_nextClient++, peer.c_str());
        ::close(fd);
        return;
    }
    timeval timeout{kSendTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    // Every message goes out in one send; holding one back for the last one's acknowledgement
    // would only add delay.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    Client client;
    client.fd = fd;
    client.number = m_nextClient++;
    m_clients.push_back(std::move(client));
    Log("client %d: connected from %s", m_clients.back().number, peer.c_str());
}

void StandinServer::AcceptControl() {
    const int fd = ::accept4(m_controlFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    timeval timeout{kSendTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    m_controls.push_back(Control{fd, {}, false});
}

void StandinServer::CloseClient(Client& client, const char* why) {
    if (client.closed) return;
    ::close(client.fd);
    client.fd = -1;
    client.closed = true;
    Log("client %d: closed (%s)", client.number, why);
}

void StandinServer::DrainAndClose(Client& client, const char* why) {
    if (client.closed) return;
    // Whatever the client sent is read first: closing over unread data would reset the
    // connection instead of ending it in order.
    uint8_t sink[4096];
    while (::recv(client.fd, sink, sizeof(sink), MSG_DONTWAIT) > 0) {
    }
    ::shutdown(client.fd, SHUT_WR);
    CloseClient(client, why);
}

void StandinServer::ReadClient(Client& client) {
    if (client.resetArmed) {
        // Closing with the client's request still unread makes its side see a reset.
        CloseClient(client, "reset");
        return;
    }
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::recv(client.fd, chunk, sizeof(chunk), MSG_DONTWAIT);
        if (n > 0) {
            client.input.insert(client.input.end(), chunk, chunk + n);
            // A full frame is at most kMaxFrameSize: more than that unread is dealt with first.
            if (client.input.size() >= simconnect::kMaxFrameSize) break;
            continue;
        }
        if (n == 0) {
            CloseClient(client, "client ended the connection");
            return;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        CloseClient(client, std::strerror(errno));
        return;
    }
    size_t consumed = 0;
    while (!client.closed) {
        uint32_t size = 0;
        const auto status =
            simconnect::PeekFrame(client.input.data() + consumed, client.input.size() - consumed,
                                  simconnect::kRequestHeaderSize, &size);
        if (status == simconnect::FrameStatus::kIncomplete) break;
        if (status == simconnect::FrameStatus::kMalformed) {
            Log("client %d: malformed frame: size word %u outside %u..%u", client.number,
                simconnect::ReadU32(client.input.data() + consumed), simconnect::kRequestHeaderSize,
                simconnect::kMaxFrameSize);
            CloseClient(client, "malformed frame");
            return;
        }
        HandleRequest(client, client.input.data() + consumed, size);
        consumed += size;
    }
    if (!client.closed)
        client.input.erase(client.input.begin(),
                           client.input.begin() + static_cast<std::ptrdiff_t>(consumed));
}

bool StandinServer::SendFrame(Client& client, const std::vector<uint8_t>& frame) {
    if (client.closed) return false;
    size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(client.fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Log("client %d: send failed: %s", client.number,
                n < 0 ? std::strerror(errno) : "nothing sent");
            CloseClient(client, "send failed");
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

void StandinServer::SendToAll(const MessageFor& message) {
    for (Client& client : m_clients)
        if (client.opened) SendFrame(client, message(client.protocol));
}

void StandinServer::SendException(Client& client, uint32_t exception, uint32_t sendId,
                                  uint32_t index) {
    Log("client %d: EXCEPTION %u send_id=%u index=%u", client.number, exception, sendId, index);
    SendFrame(client, simconnect::EncodeException(client.protocol, exception, sendId, index));
}

void StandinServer::SendSystemEvent(const std::string& name, uint32_t data) {
    for (Client& client : m_clients) {
        const auto range = client.subscriptions.equal_range(standin::Lower(name));
        for (auto it = range.first; it != range.second; ++it) {
            Log("client %d: event %s (id %u) data=%u", client.number, name.c_str(), it->second,
                data);
            SendFrame(client, simconnect::EncodeEvent(client.protocol, SIMCONNECT_UNUSED,
                                                      it->second, data));
        }
    }
}

void StandinServer::SendSystemFilenameEvent(const std::string& name, const std::string& fileName) {
    for (Client& client : m_clients) {
        const auto range = client.subscriptions.equal_range(standin::Lower(name));
        for (auto it = range.first; it != range.second; ++it) {
            Log("client %d: event %s (id %u) file=\"%s\"", client.number, name.c_str(), it->second,
                fileName.c_str());
            SendFrame(client, simconnect::EncodeEventFilename(client.protocol, SIMCONNECT_UNUSED,
                                                              it->second, 0, fileName, 0));
        }
    }
}

void StandinServer::SetPaused(uint32_t state) {
    m_paused = state == 1;
    Log("standin: pause state %u", state);
    SendSystemEvent("Pause", state);
}

void StandinServer::StartFlight() {
    m_model.StartFlight();
    m_flying = true;
    m_paused = false;
    m_held = false;
    Log("standin: flight started at %s for %s", m_model.Origin().c_str(),
        m_model.Destination().c_str());
    SendSystemFilenameEvent("AircraftLoaded", m_options.aircraftFile);
    SendSystemEvent("SimStart", 0);
}

void StandinServer::Tick() {
    const double now = Now();
    const double elapsed = now - m_lastTick;
    m_lastTick = now;
    if (m_autostartAt != 0 && now >= m_autostartAt) {
        m_autostartAt = 0;
        if (!m_flying) StartFlight();
    }
    if (m_flying && !m_paused && !m_held) m_model.Step(elapsed * m_options.rate);
    for (Client& client : m_clients) {
        for (auto& [requestId, periodic] : client.periodic) {
            if (client.closed) break;
            if (now < periodic.due) continue;
            periodic.due = now + (periodic.period == SIMCONNECT_PERIOD_SECOND
                                      ? std::max<uint32_t>(1, periodic.interval)
                                      : 0);
            const auto found = client.definitions.find(periodic.defineId);
            if (found == client.definitions.end()) continue;
            std::vector<uint8_t> data = EncodeData(found->second, m_options.title);
            // Flag 1 asks for changed data only.
            if ((periodic.flags & 1) != 0 && data == periodic.lastSent) continue;
            periodic.lastSent = data;
            SendFrame(client, simconnect::EncodeSimObjectData(
                                  client.protocol, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, requestId,
                                  kUserObjectId, periodic.defineId, 0, 1, 1,
                                  static_cast<uint32_t>(found->second.size()), data));
        }
    }
}

void StandinServer::Quit() {
    Log("standin: quitting");
    for (Client& client : m_clients) {
        if (client.closed) continue;
        if (client.opened) SendFrame(client, simconnect::EncodeQuit(client.protocol));
        DrainAndClose(client, "quit");
    }
    m_window.Unlock();
    m_quit = true;
}

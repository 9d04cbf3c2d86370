#include "web/WaitingConnections.h"

#include <algorithm>
#include <utility>

#include "log/Log.h"
#include "web/HttpServer.h"
#include "web/Socket.h"

using logging::LogFile;
using logging::LogLine;

namespace web {

namespace {

// Ends the connection at once (the peer sees the end even with bytes left unread here) and
// releases its handle.
void CloseNow(std::unique_ptr<Socket>& socket) {
    if (!socket) return;
    socket->Close();
    socket.reset();
}

}  // namespace

WaitingConnections::~WaitingConnections() {
    CloseAll();
}

size_t WaitingConnections::DropLate(Clock::time_point now) {
    size_t dropped = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (!m_entries[i].socket || now < m_entries[i].deadline) continue;
        LogLine(LogFile,
                "Webserver: request not complete within %lld s of the accept; connection "
                "closed.\n",
                static_cast<long long>(kRequestHeadTimeout.count()));
        Close(i);
        ++dropped;
    }
    return dropped;
}

void WaitingConnections::Add(std::unique_ptr<Socket> socket, Clock::time_point accepted) {
    const Clock::time_point deadline = accepted + kRequestHeadTimeout;
    Compact();
    if (m_entries.size() >= m_nCapacity && !m_entries.empty()) {
        if (!m_bCapLogged) {
            LogLine(LogFile, "Webserver: too many waiting connections; closing the oldest.\n");
            m_bCapLogged = true;
        }
        CloseNow(m_entries.front().socket);
        m_entries.erase(m_entries.begin());
    }
    WaitingConnection entry;
    entry.socket = std::move(socket);
    entry.deadline = deadline;
    m_entries.push_back(std::move(entry));
}

WaitingConnection WaitingConnections::Take(size_t index) {
    WaitingConnection taken = std::move(m_entries[index]);
    m_entries[index].socket.reset();
    return taken;
}

void WaitingConnections::Close(size_t index) {
    CloseNow(m_entries[index].socket);
}

void WaitingConnections::Compact() {
    std::erase_if(m_entries, [](const WaitingConnection& entry) { return !entry.socket; });
    if (m_entries.empty()) m_bCapLogged = false;
}

void WaitingConnections::CloseAll() {
    for (WaitingConnection& entry : m_entries) CloseNow(entry.socket);
    m_entries.clear();
    m_bCapLogged = false;
}

void WaitingConnections::Handles(std::vector<platform::SocketHandle>& into) const {
    for (const WaitingConnection& entry : m_entries) into.push_back(entry.socket->Handle());
}

WaitingConnections::Clock::time_point WaitingConnections::NextDeadline() const {
    Clock::time_point next = Clock::time_point::max();
    for (const WaitingConnection& entry : m_entries) next = std::min(next, entry.deadline);
    return next;
}

}  // namespace web

#include "web/Socket.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "log/Log.h"

namespace {

// Live Socket objects. Sockets are made and destroyed on several threads (the server thread, and
// tests), so the count and the library start/clean-up it drives move together under one lock.
std::mutex g_liveSocketsMutex;
int g_nLiveSockets = 0;  // guarded by g_liveSocketsMutex

thread_local int t_nLastError = 0;

// The socket library needs no start or clean-up on Linux; the counter keeps the places where a
// platform that does need them would call them.
bool StartSocketLibrary() { return true; }
void CleanupSocketLibrary() {}

// Bytes looked at per peek. Small enough for the stack, big enough for a typical header line.
constexpr size_t kPeekChunk = 1024;

}  // namespace

void Socket::CountIn() {
    std::lock_guard<std::mutex> lock(g_liveSocketsMutex);
    if (g_nLiveSockets == 0 && !StartSocketLibrary()) Throw(kSocketErrorLibrary, 0);
    ++g_nLiveSockets;
}

void Socket::CountOut() {
    std::lock_guard<std::mutex> lock(g_liveSocketsMutex);
    if (--g_nLiveSockets == 0) CleanupSocketLibrary();
}

int Socket::LiveCount() {
    std::lock_guard<std::mutex> lock(g_liveSocketsMutex);
    return g_nLiveSockets;
}

int Socket::LastError() { return t_nLastError; }

void Socket::Throw(const char* text, int error) {
    t_nLastError = error;
    throw text;
}

int Socket::CreateCountedSocket() {
    CountIn();
    // Close-on-exec: a browser started by the program must not inherit the listener.
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0) {
        // No destructor runs for a constructor that throws, so the count is undone here.
        const int error = errno;
        CountOut();
        Throw(kSocketErrorCreate, error);
    }
    return handle;
}

Socket::Socket()
    : m_hSocket(CreateCountedSocket()), m_pRefCount(std::make_unique<int>(1)) {}

Socket::Socket(int handle) : m_hSocket(handle), m_pRefCount(std::make_unique<int>(1)) {
    CountIn();
}

Socket::~Socket() {
    if (m_pRefCount && --*m_pRefCount == 0) {
        if (m_hSocket >= 0) ::close(m_hSocket);
        m_pRefCount.reset();
    }
    CountOut();
}

bool Socket::IsValid() const { return m_hSocket >= 0 && !m_bClosed.load(); }

void Socket::Close() {
    if (m_hSocket < 0 || m_bClosed.exchange(true)) return;
    // shutdown ends the connection for the peer and wakes a thread waiting on it, while the
    // descriptor number stays reserved until the destructor.
    ::shutdown(m_hSocket, SHUT_RDWR);
}

void Socket::SetReceiveBounds(size_t maxLineBytes, Clock::time_point deadline,
                              const std::atomic<bool>* abort) {
    m_nMaxLineBytes = maxLineBytes;
    m_deadline = deadline;
    m_pAbort = abort;
}

void Socket::SetSendTimeout(std::chrono::milliseconds timeout) {
    if (m_hSocket < 0) return;
    timeval value{};
    value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    ::setsockopt(m_hSocket, SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value);
}

void Socket::HoldSends(bool hold) {
    if (m_hSocket < 0) return;
    const int value = hold ? 1 : 0;
    ::setsockopt(m_hSocket, IPPROTO_TCP, TCP_CORK, &value, sizeof value);
}

bool Socket::WaitReadable() {
    const bool hasDeadline = m_deadline != Clock::time_point::max();
    if (!hasDeadline && m_pAbort == nullptr) return true;  // plain blocking receive
    for (;;) {
        if (m_pAbort != nullptr && m_pAbort->load()) {
            m_lastStop = ReceiveStop::kInterrupted;
            return false;
        }
        auto slice = std::chrono::milliseconds(-1);
        if (m_pAbort != nullptr) slice = kAbortPollInterval;
        if (hasDeadline) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(m_deadline - Clock::now());
            if (left.count() <= 0) {
                m_lastStop = ReceiveStop::kTimedOut;
                return false;
            }
            if (slice.count() < 0 || left < slice) slice = left;
        }
        pollfd entry{m_hSocket, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(slice.count()));
        // Readable, hung up or failed: the receive that follows tells which.
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return true;
    }
}

std::string Socket::ReceiveLine() {
    std::string line;
    m_lastStop = ReceiveStop::kNone;
    if (!IsValid()) return {};
    char buffer[kPeekChunk];
    for (;;) {
        if (!WaitReadable()) return {};
        // Look at what has arrived, then take exactly up to the line feed, so the bytes after
        // it stay in the connection for whoever reads next.
        size_t want = sizeof buffer;
        if (m_nMaxLineBytes > 0) want = std::min(want, m_nMaxLineBytes - line.size());
        ssize_t got = ::recv(m_hSocket, buffer, want, MSG_PEEK);
        if (got > 0) {
            const char* end = static_cast<const char*>(std::memchr(buffer, '\n', got));
            const size_t take = end != nullptr ? static_cast<size_t>(end - buffer) + 1 : got;
            got = ::recv(m_hSocket, buffer, take, 0);
        }
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return line;
            return {};
        }
        if (got == 0) return {};  // the peer closed: a partial line is dropped
        line.append(buffer, static_cast<size_t>(got));
        if (line.back() == '\n') break;
        if (m_nMaxLineBytes > 0 && line.size() >= m_nMaxLineBytes) {
            m_lastStop = ReceiveStop::kLineTooLong;
            return {};
        }
        if (!IsValid()) return {};
    }
    if (line.size() <= 1) {
        LogLine(LogFile, "Webserver: empty line received: [%s].\n", line.c_str());
        return {};
    }
    return line;
}

void Socket::SendLine(const std::string& text) {
    std::string line;
    line.reserve(text.size() + 1);
    line.append(text).push_back('\n');
    SendBytes(line);
}

long Socket::SendBytes(const std::string& text) {
    // MSG_NOSIGNAL: a peer that went away gives an error here instead of killing the process.
    return static_cast<long>(::send(m_hSocket, text.data(), text.size(), MSG_NOSIGNAL));
}

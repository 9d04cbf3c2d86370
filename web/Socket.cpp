#include "web/Socket.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
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

// Bytes asked for per receive: a browser's whole request head fits.
constexpr size_t kReceiveChunk = 4096;

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

bool Socket::BoundHit() {
    if (m_pAbort != nullptr && m_pAbort->load()) {
        m_lastStop = ReceiveStop::kInterrupted;
        return true;
    }
    if (m_deadline != Clock::time_point::max() && Clock::now() >= m_deadline) {
        m_lastStop = ReceiveStop::kTimedOut;
        return true;
    }
    return false;
}

bool Socket::WaitReadable() {
    const bool hasDeadline = m_deadline != Clock::time_point::max();
    if (!hasDeadline && m_pAbort == nullptr) return true;  // plain blocking receive
    for (;;) {
        if (BoundHit()) return false;
        auto slice = std::chrono::milliseconds(-1);
        if (m_pAbort != nullptr) slice = kAbortPollInterval;
        if (hasDeadline) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(m_deadline - Clock::now());
            if (left.count() <= 0) continue;  // BoundHit reports it
            if (slice.count() < 0 || left < slice) slice = left;
        }
        pollfd entry{m_hSocket, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(slice.count()));
        // Readable, hung up or failed: the receive that follows tells which.
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return true;
    }
}

long Socket::ReceiveMore() {
    // The bounds hold even for a peer that always has a byte waiting.
    if (BoundHit()) {
        errno = 0;
        return -1;
    }
    if (m_pendingStart > 0) {
        m_pending.erase(0, m_pendingStart);
        m_pendingStart = 0;
    }
    // Try first without waiting: on a busy server the head is usually there by the time the
    // connection is taken, and the poll would only cost a system call.
    size_t want = kReceiveChunk;
    if (m_nMaxLineBytes > 0) want = std::max(want, m_nMaxLineBytes);
    const size_t used = m_pending.size();
    m_pending.resize(used + want);
    ssize_t got = ::recv(m_hSocket, m_pending.data() + used, want, MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (WaitReadable()) {
            // A socket the caller made non-blocking still answers EAGAIN here, as it should.
            do {
                got = ::recv(m_hSocket, m_pending.data() + used, want, 0);
            } while (got < 0 && errno == EINTR && IsValid());
        } else {
            got = -1;
            errno = 0;
        }
    }
    const int error = errno;
    m_pending.resize(used + static_cast<size_t>(std::max<ssize_t>(got, 0)));
    errno = error;
    return static_cast<long>(got);
}

std::string Socket::TakePending(size_t length) {
    std::string line = m_pending.substr(m_pendingStart, length);
    m_pendingStart += length;
    m_scanned = 0;
    if (m_pendingStart == m_pending.size()) {
        m_pending.clear();
        m_pendingStart = 0;
    }
    return line;
}

std::string Socket::ReceiveLine() {
    m_lastStop = ReceiveStop::kNone;
    if (!IsValid()) return {};
    for (;;) {
        const char* begin = m_pending.data() + m_pendingStart;
        const size_t available = m_pending.size() - m_pendingStart;
        const void* lineFeed = std::memchr(begin + m_scanned, '\n', available - m_scanned);
        const size_t lineLength = lineFeed != nullptr
                                      ? static_cast<size_t>(static_cast<const char*>(lineFeed) -
                                                            begin) + 1
                                      : available;
        if (m_nMaxLineBytes > 0 && lineLength >= m_nMaxLineBytes &&
            (lineFeed == nullptr || lineLength > m_nMaxLineBytes)) {
            m_lastStop = ReceiveStop::kLineTooLong;
            return {};
        }
        if (lineFeed != nullptr) {
            const std::string line = TakePending(lineLength);
            if (line.size() <= 1) {
                LogLine(LogFile, "Webserver: empty line received: [%s].\n", line.c_str());
                return {};
            }
            return line;
        }
        m_scanned = available;
        if (!IsValid()) return {};
        const long got = ReceiveMore();
        if (got == 0) return {};  // the peer closed: a partial line is dropped
        if (got < 0) {
            if (m_lastStop != ReceiveStop::kNone) return {};  // a bound ended the wait
            if (errno == EINTR) continue;
            // Nothing more on a non-blocking socket: what has been collected so far.
            if (errno == EAGAIN || errno == EWOULDBLOCK) return TakePending(available);
            return {};
        }
    }
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

bool Socket::SendAll(std::initializer_list<std::string_view> pieces) {
    constexpr size_t kMaxPieces = 8;
    iovec vectors[kMaxPieces];
    size_t count = 0;
    for (const std::string_view piece : pieces) {
        if (piece.empty()) continue;
        if (count == kMaxPieces) return false;
        vectors[count++] = iovec{const_cast<char*>(piece.data()), piece.size()};
    }
    iovec* next = vectors;
    while (count > 0) {
        msghdr message{};
        message.msg_iov = next;
        message.msg_iovlen = count;
        // MSG_NOSIGNAL: a peer that went away gives an error here instead of killing the process.
        const ssize_t sent = ::sendmsg(m_hSocket, &message, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            return false;  // an error, or the send time-out passed with nothing sent
        }
        size_t done = static_cast<size_t>(sent);
        while (count > 0 && done >= next->iov_len) {
            done -= next->iov_len;
            ++next;
            --count;
        }
        if (count > 0) {
            next->iov_base = static_cast<char*>(next->iov_base) + done;
            next->iov_len -= done;
        }
    }
    return true;
}

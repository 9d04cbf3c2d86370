#include "web/Socket.h"

#include <algorithm>
#include <cstring>

#include "log/Log.h"

using logging::LogFile;
using logging::LogLine;

namespace web {

namespace {

using platform::ErrorKind;

// Live Socket objects, made and destroyed on several threads (the server thread, and tests). The
// socket library's own start and clean-up are platform/Net's, by handle.
std::atomic<int> g_nLiveSockets{0};

// Bytes asked for per receive: a browser's whole request head fits.
constexpr size_t kReceiveChunk = 4096;

}  // namespace

int Socket::LiveCount() {
    return g_nLiveSockets.load();
}

Socket::Socket(platform::SocketHandle handle)
    : m_hSocket(handle), m_pRefCount(std::make_unique<int>(1)) {
    ++g_nLiveSockets;
}

platform::Result<std::unique_ptr<Socket>> Socket::Open() {
    const platform::Result<platform::SocketHandle> opened = platform::OpenTcpSocket();
    if (!opened.IsOk()) return {opened.status};
    return {platform::Status(), std::make_unique<Socket>(opened.value)};
}

Socket::~Socket() {
    if (m_pRefCount && --*m_pRefCount == 0) {
        if (m_hSocket != platform::kInvalidSocket) platform::CloseSocket(m_hSocket);
        m_pRefCount.reset();
    }
    --g_nLiveSockets;
}

bool Socket::IsValid() const {
    return m_hSocket != platform::kInvalidSocket && !m_bClosed.load();
}

void Socket::Close() {
    if (m_hSocket == platform::kInvalidSocket || m_bClosed.exchange(true)) return;
    platform::ShutdownSocket(m_hSocket);
}

void Socket::SetReceiveBounds(size_t maxLineBytes, Clock::time_point deadline,
                              const std::atomic<bool>* abort) {
    m_nMaxLineBytes = maxLineBytes;
    m_deadline = deadline;
    m_pAbort = abort;
}

void Socket::SetSendTimeout(std::chrono::milliseconds timeout) {
    m_sendTimeout = std::max(timeout, std::chrono::milliseconds(0));
}

platform::Status Socket::BoundHit() const {
    if (m_pAbort != nullptr && m_pAbort->load()) return platform::Status(ErrorKind::kCancelled);
    if (m_deadline != Clock::time_point::max() && Clock::now() >= m_deadline)
        return platform::Status(ErrorKind::kTimedOut);
    return {};
}

platform::Status Socket::WaitReadable() {
    const bool hasDeadline = m_deadline != Clock::time_point::max();
    if (!hasDeadline && m_pAbort == nullptr) return {};  // plain blocking receive
    for (;;) {
        if (platform::Status bound = BoundHit(); !bound.IsOk()) return bound;
        auto slice = std::chrono::milliseconds(-1);
        if (m_pAbort != nullptr) slice = kAbortPollInterval;
        if (hasDeadline) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(m_deadline - Clock::now());
            if (left.count() <= 0) continue;  // BoundHit reports it
            if (slice.count() < 0 || left < slice) slice = left;
        }
        const ErrorKind ready = platform::WaitReadable(m_hSocket, slice).Kind();
        // Readable, hung up or failed: the receive that follows tells which.
        if (ready != ErrorKind::kTimedOut && ready != ErrorKind::kInterrupted) return {};
    }
}

platform::Result<size_t> Socket::ReceiveMore() {
    // The bounds hold even for a peer that always has a byte waiting.
    if (platform::Status bound = BoundHit(); !bound.IsOk()) return {bound};
    if (m_pendingStart > 0) {
        m_pending.erase(0, m_pendingStart);
        m_pendingStart = 0;
    }
    // Wait, then receive. A receive tried first would spare the wait when the head is there
    // already, but Winsock has no receive that never blocks: there it would be a wait of its
    // own, and one more whenever nothing has arrived yet.
    size_t want = kReceiveChunk;
    if (m_nMaxLineBytes > 0) want = std::max(want, m_nMaxLineBytes);
    const size_t used = m_pending.size();
    m_pending.resize(used + want);
    platform::Result<size_t> got{WaitReadable()};
    if (got.IsOk()) {
        // A socket the caller made non-blocking answers "would block" here, as it should.
        do {
            got = platform::Receive(m_hSocket, m_pending.data() + used, want);
        } while (got.status.Kind() == ErrorKind::kInterrupted && IsValid());
    }
    m_pending.resize(used + (got.IsOk() ? got.value : 0));
    return got;
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

platform::Result<std::string> Socket::ReceiveLine() {
    const platform::Status closed(ErrorKind::kClosed);
    if (!IsValid()) return {closed};
    for (;;) {
        const char* begin = m_pending.data() + m_pendingStart;
        const size_t available = m_pending.size() - m_pendingStart;
        const void* lineFeed = std::memchr(begin + m_scanned, '\n', available - m_scanned);
        const size_t lineLength =
            lineFeed != nullptr
                ? static_cast<size_t>(static_cast<const char*>(lineFeed) - begin) + 1
                : available;
        if (m_nMaxLineBytes > 0 && lineLength >= m_nMaxLineBytes &&
            (lineFeed == nullptr || lineLength > m_nMaxLineBytes)) {
            return {platform::Status(ErrorKind::kTooLong)};
        }
        if (lineFeed != nullptr) {
            std::string line = TakePending(lineLength);
            if (line.size() <= 1) {
                LogLine(LogFile, "Webserver: empty line received: [%s].\n", line.c_str());
                return {};
            }
            return {platform::Status(), std::move(line)};
        }
        m_scanned = available;
        if (!IsValid()) return {closed};
        const platform::Result<size_t> got = ReceiveMore();
        if (got.IsOk()) {
            if (got.value == 0) return {closed};  // the peer closed: a partial line is dropped
            continue;
        }
        if (got.status.Kind() == ErrorKind::kInterrupted) continue;
        // Nothing more on a non-blocking socket: what has been collected so far.
        if (got.status.Kind() == ErrorKind::kWouldBlock)
            return {got.status, TakePending(available)};
        return {got.status};
    }
}

void Socket::SendLine(const std::string& text) {
    std::string line;
    line.reserve(text.size() + 1);
    line.append(text).push_back('\n');
    SendBytes(line);
}

platform::Result<size_t> Socket::SendBytes(const std::string& text) {
    return platform::Send(m_hSocket, text.data(), text.size());
}

bool Socket::SendAll(std::initializer_list<std::string_view> pieces) {
    platform::SendPiece vectors[platform::kMaxSendPieces];
    size_t count = 0;
    for (const std::string_view piece : pieces) {
        if (piece.empty()) continue;
        if (count == platform::kMaxSendPieces) return false;
        vectors[count++] = platform::SendPiece{piece.data(), piece.size()};
    }
    platform::SendPiece* next = vectors;
    while (count > 0) {
        const platform::Result<size_t> sent = platform::SendGathered(m_hSocket, next, count);
        if (sent.status.Kind() == ErrorKind::kInterrupted) continue;
        if (sent.status.Kind() == ErrorKind::kWouldBlock) {
            // The peer's window and the send buffer are full: room must come within the time-out.
            platform::Status room;
            do {
                room = platform::WaitWritable(m_hSocket, m_sendTimeout);
            } while (room.Kind() == ErrorKind::kInterrupted);
            if (!room.IsOk()) return false;
            continue;
        }
        if (!sent.IsOk()) return false;
        size_t done = sent.value;
        while (count > 0 && done >= next->size) {
            done -= next->size;
            ++next;
            --count;
        }
        if (count > 0) {
            next->data += done;
            next->size -= done;
        }
    }
    return true;
}

}  // namespace web

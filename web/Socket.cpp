#include "web/Socket.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "log/Log.h"

namespace {

// Live Socket objects. Sockets are made and destroyed on several threads (the server thread, and
// tests), so the count and the library start/clean-up it drives move together under one lock.
std::mutex g_liveSocketsMutex;
int g_nLiveSockets = 0;  // guarded by g_liveSocketsMutex

thread_local int t_nLastError = 0;

// Bytes asked for per receive: a browser's whole request head fits.
constexpr size_t kReceiveChunk = 4096;

}  // namespace

void Socket::CountIn() {
    std::lock_guard<std::mutex> lock(g_liveSocketsMutex);
    if (g_nLiveSockets == 0) {
        const int error = platform::StartNetLibrary();
        if (error != 0) Throw(kSocketErrorLibrary, error);
    }
    ++g_nLiveSockets;
}

void Socket::CountOut() {
    std::lock_guard<std::mutex> lock(g_liveSocketsMutex);
    if (--g_nLiveSockets == 0) platform::StopNetLibrary();
}

int Socket::LiveCount() {
    std::lock_guard<std::mutex> lock(g_liveSocketsMutex);
    return g_nLiveSockets;
}

int Socket::LastError() {
    return t_nLastError;
}

void Socket::Throw(const char* text, int error) {
    t_nLastError = error;
    throw text;
}

platform::SocketHandle Socket::CreateCountedSocket() {
    CountIn();
    int error = 0;
    const platform::SocketHandle handle = platform::OpenTcpSocket(error);
    if (handle == platform::kInvalidSocket) {
        // No destructor runs for a constructor that throws, so the count is undone here.
        CountOut();
        Throw(kSocketErrorCreate, error);
    }
    return handle;
}

Socket::Socket() : m_hSocket(CreateCountedSocket()), m_pRefCount(std::make_unique<int>(1)) {}

Socket::Socket(platform::SocketHandle handle)
    : m_hSocket(handle), m_pRefCount(std::make_unique<int>(1)) {
    CountIn();
}

Socket::~Socket() {
    if (m_pRefCount && --*m_pRefCount == 0) {
        if (m_hSocket != platform::kInvalidSocket) platform::CloseSocket(m_hSocket);
        m_pRefCount.reset();
    }
    CountOut();
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
    m_pendingSendTimeout = std::max(timeout, std::chrono::milliseconds(0));
}

void Socket::ApplySendTimeout() {
    if (m_pendingSendTimeout.count() < 0 || m_hSocket == platform::kInvalidSocket) return;
    platform::SetSendTimeout(m_hSocket, m_pendingSendTimeout);
    m_pendingSendTimeout = std::chrono::milliseconds(-1);
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
        const platform::WaitResult ready = platform::WaitReadable(m_hSocket, slice);
        // Readable, hung up or failed: the receive that follows tells which.
        if (ready == platform::WaitResult::kReady || ready == platform::WaitResult::kFailed)
            return true;
    }
}

platform::NetResult Socket::ReceiveMore() {
    using platform::NetStatus;
    // The bounds hold even for a peer that always has a byte waiting.
    if (BoundHit()) return {NetStatus::kFailed, 0, 0};
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
    platform::NetResult got{NetStatus::kFailed, 0, 0};
    if (WaitReadable()) {
        // A socket the caller made non-blocking answers "would block" here, as it should.
        do {
            got = platform::Receive(m_hSocket, m_pending.data() + used, want);
        } while (got.status == NetStatus::kInterrupted && IsValid());
    }
    m_pending.resize(used + (got.status == NetStatus::kOk ? got.bytes : 0));
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

std::string Socket::ReceiveLine() {
    m_lastStop = ReceiveStop::kNone;
    if (!IsValid()) return {};
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
        const platform::NetResult got = ReceiveMore();
        if (got.status == platform::NetStatus::kOk) {
            if (got.bytes == 0) return {};  // the peer closed: a partial line is dropped
            continue;
        }
        if (m_lastStop != ReceiveStop::kNone) return {};  // a bound ended the wait
        if (got.status == platform::NetStatus::kInterrupted) continue;
        // Nothing more on a non-blocking socket: what has been collected so far.
        if (got.status == platform::NetStatus::kWouldBlock) return TakePending(available);
        return {};
    }
}

void Socket::SendLine(const std::string& text) {
    std::string line;
    line.reserve(text.size() + 1);
    line.append(text).push_back('\n');
    SendBytes(line);
}

long Socket::SendBytes(const std::string& text) {
    ApplySendTimeout();
    const platform::NetResult sent = platform::Send(m_hSocket, text.data(), text.size());
    return sent.status == platform::NetStatus::kOk ? static_cast<long>(sent.bytes) : -1L;
}

bool Socket::SendAll(std::initializer_list<std::string_view> pieces) {
    ApplySendTimeout();
    platform::SendPiece vectors[platform::kMaxSendPieces];
    size_t count = 0;
    for (const std::string_view piece : pieces) {
        if (piece.empty()) continue;
        if (count == platform::kMaxSendPieces) return false;
        vectors[count++] = platform::SendPiece{piece.data(), piece.size()};
    }
    platform::SendPiece* next = vectors;
    while (count > 0) {
        const platform::NetResult sent = platform::SendGathered(m_hSocket, next, count);
        if (sent.status == platform::NetStatus::kInterrupted) continue;
        // An error, or the send time-out passed with nothing sent.
        if (sent.status != platform::NetStatus::kOk) return false;
        size_t done = sent.bytes;
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

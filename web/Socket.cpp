#include "web/Socket.h"

#include <algorithm>

namespace web {

namespace {

using platform::ErrorKind;

// Live Socket objects, made and destroyed on several threads (the server thread, and tests). The
// socket library's own start and clean-up are platform/Net's, by handle.
std::atomic<int> g_nLiveSockets{0};

}  // namespace

int Socket::LiveCount() {
    return g_nLiveSockets.load();
}

Socket::Socket(platform::SocketHandle handle) : m_hSocket(handle) {
    ++g_nLiveSockets;
}

Socket::~Socket() {
    if (m_hSocket != platform::kInvalidSocket) platform::CloseSocket(m_hSocket);
    --g_nLiveSockets;
}

bool Socket::IsValid() const {
    return m_hSocket != platform::kInvalidSocket && !m_bClosed.load();
}

void Socket::Close() {
    if (m_hSocket == platform::kInvalidSocket || m_bClosed.exchange(true)) return;
    platform::ShutdownSocket(m_hSocket);
}

void Socket::SetSendTimeout(std::chrono::milliseconds timeout) {
    m_sendTimeout = std::max(timeout, std::chrono::milliseconds(0));
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

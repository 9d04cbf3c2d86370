#include "sim/SimConnection.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// How long one send may wait for a simulator that does not read.
constexpr int kSendTimeoutSeconds = 2;
// Bytes taken from the socket by one dispatch call at most, so that a flood cannot hold the
// caller forever.
constexpr size_t kMaxReadPerDispatch = 1 << 20;
// Messages are handed over in a buffer at least this big (zero-filled beyond the message), so
// that the fixed part of any structure lies inside it.
constexpr size_t kMinDeliveryBuffer = 320;
// With nothing pending, a dispatch call waits this long for the simulator's next bytes. The worker
// calls dispatch in a loop with a 1 ms sleep; without the wait an idle link would wake it about a
// thousand times a second. The worker still looks at its stop flag after every call.
constexpr int kIdleWaitMs = 20;

}  // namespace

std::unique_ptr<SimConnection> SimConnection::Open(const std::string& socketPath,
                                                   const std::string& appName, uint32_t configIndex,
                                                   std::chrono::milliseconds timeout,
                                                   HRESULT* result) {
    *result = E_FAIL;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof(address.sun_path)) return nullptr;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);

    std::vector<uint8_t> openFrame;
    if (!simproto::EncodeRequest(1, simproto::OpenRequest{appName, configIndex}, &openFrame)) {
        *result = E_INVALIDARG;
        return nullptr;
    }

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    std::unique_ptr<SimConnection> connection(new SimConnection(fd));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
        return nullptr;
    timeval sendTimeout{kSendTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof(sendTimeout));
    {
        platform::MutexLock lock(connection->m_sendMutex);
        connection->m_nextSendId = 1;
    }
    size_t sent = 0;
    while (sent < openFrame.size()) {
        const ssize_t n =
            ::send(fd, openFrame.data() + sent, openFrame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return nullptr;
        sent += static_cast<size_t>(n);
    }

    // The first frame must be the simulator's open message; it stays in the input so that the
    // first dispatch delivers it.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    platform::MutexLock lock(connection->m_readMutex);
    for (;;) {
        uint32_t size = 0;
        const auto status =
            simproto::PeekFrame(connection->m_input.data(), connection->m_input.size(),
                                simproto::kMessageHeaderSize, &size);
        if (status == simproto::FrameStatus::Malformed) return nullptr;
        if (status == simproto::FrameStatus::Complete) {
            if (!connection->IsValid(connection->m_input.data(), size)) return nullptr;
            if (simproto::ReadU32(connection->m_input.data() + 8) != SIMCONNECT_RECV_ID_OPEN)
                return nullptr;
            break;
        }
        if (connection->m_endOfStream || connection->m_status.load() != S_OK) return nullptr;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return nullptr;
        pollfd waiter{fd, POLLIN, 0};
        const int ready = ::poll(&waiter, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) return nullptr;
        if (ready > 0) connection->ReadAvailable();
    }
    *result = S_OK;
    return connection;
}

SimConnection::~SimConnection() {
    if (m_fd >= 0) ::close(m_fd);
}

HRESULT SimConnection::StatusForErrno(int error) {
    return error == ECONNRESET ? SIMCONNECT_STATUS_CONNECTION_RESET : SIMCONNECT_STATUS_PIPE_BROKEN;
}

void SimConnection::Fail(HRESULT status) {
    HRESULT expected = S_OK;
    if (m_status.compare_exchange_strong(expected, status)) ::shutdown(m_fd, SHUT_RDWR);
}

HRESULT SimConnection::AddToDataDefinition(const simproto::AddToDataDefinitionRequest& request) {
    if (!simproto::IsValidDatumType(request.datumType)) return E_INVALIDARG;
    {
        platform::MutexLock lock(m_stateMutex);
        std::vector<uint32_t>& items = m_definitions[request.defineId];
        if (items.size() >= simproto::kMaxDefinitionItems) return E_FAIL;
        items.push_back(request.datumType);
    }
    return Send(request);
}

HRESULT SimConnection::Send(const simproto::RequestBody& body) {
    platform::MutexLock lock(m_sendMutex);
    if (m_status.load() != S_OK || m_writeStatus.load() != S_OK) return E_FAIL;
    std::vector<uint8_t> frame;
    if (!simproto::EncodeRequest(m_nextSendId + 1, body, &frame)) return E_INVALIDARG;
    ++m_nextSendId;
    size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(m_fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // A frame cut short leaves the stream unusable whatever the cause.
            const int error = n < 0 ? errno : EPIPE;
            HRESULT expected = S_OK;
            m_writeStatus.compare_exchange_strong(expected, StatusForErrno(error));
            return E_FAIL;
        }
        sent += static_cast<size_t>(n);
    }
    return S_OK;
}

void SimConnection::ReadAvailable() {
    size_t taken = 0;
    uint8_t chunk[65536];
    while (!m_endOfStream && taken < kMaxReadPerDispatch) {
        const ssize_t n = ::recv(m_fd, chunk, sizeof(chunk), MSG_DONTWAIT);
        if (n > 0) {
            m_input.insert(m_input.end(), chunk, chunk + n);
            taken += static_cast<size_t>(n);
            continue;
        }
        if (n == 0) {
            m_endOfStream = true;
            return;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        Fail(StatusForErrno(errno));
        return;
    }
}

bool SimConnection::IsValid(const uint8_t* frame, uint32_t size) {
    platform::MutexLock lock(m_stateMutex);
    auto lookup = [this](uint32_t defineId) NO_THREAD_SAFETY_ANALYSIS {
        const auto found = m_definitions.find(defineId);
        return found == m_definitions.end() ? nullptr : &found->second;
    };
    return simproto::ValidateMessage(frame, size, lookup, nullptr);
}

HRESULT SimConnection::Dispatch(DispatchProc proc, void* context) {
    platform::MutexLock lock(m_readMutex);
    if (m_status.load() == S_OK) {
        uint32_t pendingSize = 0;
        const bool wholeFramePending =
            simproto::PeekFrame(m_input.data(), m_input.size(), simproto::kMessageHeaderSize,
                                &pendingSize) != simproto::FrameStatus::Incomplete;
        if (!wholeFramePending && !m_endOfStream) {
            pollfd waiter{m_fd, POLLIN, 0};
            while (::poll(&waiter, 1, kIdleWaitMs) < 0 && errno == EINTR) {
            }
        }
        ReadAvailable();
    }

    bool delivered = false;
    size_t consumed = 0;
    std::vector<uint64_t> message;  // 8-byte aligned, so the data's doubles are too
    // Frames that arrived whole before a reset or the end of the stream are still delivered.
    for (;;) {
        uint32_t size = 0;
        const auto status =
            simproto::PeekFrame(m_input.data() + consumed, m_input.size() - consumed,
                                simproto::kMessageHeaderSize, &size);
        if (status == simproto::FrameStatus::Incomplete) break;
        if (status == simproto::FrameStatus::Malformed ||
            !IsValid(m_input.data() + consumed, size)) {
            Fail(SIMCONNECT_E_MALFORMED_FRAME);
            consumed = m_input.size();
            break;
        }
        const size_t bytes = std::max<size_t>(size, kMinDeliveryBuffer);
        message.assign((bytes + 7) / 8, 0);
        std::memcpy(message.data(), m_input.data() + consumed, size);
        consumed += size;
        delivered = true;
        if (proc != nullptr)
            proc(reinterpret_cast<SIMCONNECT_RECV*>(message.data()), size, context);
    }
    m_input.erase(m_input.begin(), m_input.begin() + static_cast<std::ptrdiff_t>(consumed));

    if (m_status.load() == S_OK) {
        if (m_endOfStream) {
            Fail(m_input.empty() ? SIMCONNECT_STATUS_PIPE_DISCONNECTED
                                 : SIMCONNECT_STATUS_PIPE_BROKEN);
        } else if (const HRESULT written = m_writeStatus.load(); written != S_OK) {
            Fail(written);
        }
    }
    if (delivered) return S_OK;
    return m_status.load();
}

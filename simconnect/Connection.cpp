#include "simconnect/Connection.h"

#include <algorithm>
#include <cstring>

namespace simconnect {

namespace {

// Bytes taken from the stream by one dispatch call at most, so that a flood cannot hold the
// caller forever.
constexpr size_t kMaxReadPerDispatch = 1 << 20;
// Messages are handed over in a buffer at least this big (zero-filled beyond the message), so
// that the fixed part of any structure lies inside it.
constexpr size_t kMinDeliveryBuffer = 320;
// With nothing pending, a dispatch call waits this long for the simulator's next bytes. The worker
// calls dispatch in a loop with a 1 ms sleep; without the wait an idle link would wake it about a
// thousand times a second. The worker still looks at its stop flag after every call.
constexpr std::chrono::milliseconds kIdleWait{20};
// A handshake looks at its cancel flag at least this often.
constexpr std::chrono::milliseconds kCancelCheck{50};

}  // namespace

Connection::OpenResult Connection::Handshake(std::unique_ptr<platform::ByteStream> stream,
                                             uint32_t protocol, uint32_t maxMessageSize,
                                             bool onThisMachine, const std::string& appName,
                                             std::chrono::milliseconds timeout,
                                             const std::atomic<bool>& cancel) {
    OpenResult result;
    const simconnect::ProtocolRelease* release = simconnect::FindRelease(protocol);
    if (release == nullptr || !stream) {
        result.status = OpenStatus::kBadAnswer;
        result.detail = "no such protocol";
        return result;
    }
    std::unique_ptr<Connection> connection(
        new Connection(std::move(stream), protocol, maxMessageSize, onThisMachine));
    {
        platform::MutexLock lock(connection->m_sendMutex);
        connection->m_nextSendId = 1;
    }
    // No handshake precedes it: the open request is the first thing on the stream.
    const std::vector<uint8_t> openFrame =
        simconnect::EncodeRequest(protocol, 1, simconnect::OpenRequestFor(*release, appName));
    const auto written = connection->m_stream->WriteAll(openFrame.data(), openFrame.size());
    if (!written.IsOk()) {
        result.status = OpenStatus::kClosed;
        return result;
    }

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    platform::MutexLock lock(connection->m_readMutex);
    for (;;) {
        std::vector<uint8_t>& input = connection->m_input;
        uint32_t size = 0;
        const auto status = simconnect::PeekFrame(
            input.data(), input.size(), simconnect::kMessageHeaderSize, &size, maxMessageSize);
        if (status == simconnect::FrameStatus::kMalformed) {
            result.status = OpenStatus::kBadAnswer;
            result.detail =
                "size word " + std::to_string(simconnect::ReadU32(input.data())) + " out of range";
            return result;
        }
        if (status == simconnect::FrameStatus::kComplete) {
            const uint32_t id = simconnect::ReadU32(input.data() + 8);
            if (!connection->IsValid(input.data(), size, &result.detail)) {
                result.status = OpenStatus::kBadAnswer;
                return result;
            }
            if (id == SIMCONNECT_RECV_ID_EXCEPTION &&
                simconnect::ReadU32(input.data() + 12) == SIMCONNECT_EXCEPTION_VERSION_MISMATCH) {
                result.status = OpenStatus::kVersionMismatch;
                return result;
            }
            if (id != SIMCONNECT_RECV_ID_OPEN) {
                result.status = OpenStatus::kBadAnswer;
                result.detail = "message " + std::to_string(id) + " before the open message";
                if (id == SIMCONNECT_RECV_ID_EXCEPTION)
                    result.detail += " (exception " +
                                     std::to_string(simconnect::ReadU32(input.data() + 12)) + ")";
                return result;
            }
            break;
        }
        if (connection->m_status.load() != S_OK || connection->m_endOfStream) {
            // Nothing at all before the end is a refusal, not a broken answer: a simulator
            // without its main window turns clients away like that.
            const bool midMessage = !input.empty();
            result.status = midMessage ? OpenStatus::kBadAnswer : OpenStatus::kClosed;
            if (midMessage) result.detail = "the stream ended inside a message";
            return result;
        }
        if (cancel.load()) {
            result.status = OpenStatus::kCancelled;
            return result;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.status = OpenStatus::kNoAnswer;
            return result;
        }
        if (connection->m_stream->WaitReadable(std::min(left, kCancelCheck)))
            connection->ReadAvailable();
    }
    result.connection = std::move(connection);
    return result;
}

Connection::~Connection() = default;

HRESULT Connection::StatusFor(const platform::Status& status) {
    return status.Kind() == platform::ErrorKind::kReset ? SIMCONNECT_STATUS_CONNECTION_RESET
                                                        : SIMCONNECT_STATUS_PIPE_BROKEN;
}

void Connection::Fail(HRESULT status) {
    HRESULT expected = S_OK;
    if (m_status.compare_exchange_strong(expected, status)) m_stream->Shutdown();
}

HRESULT Connection::AddToDataDefinition(const simconnect::AddToDataDefinitionRequest& request) {
    if (!simconnect::IsValidDatumType(request.datumType)) return E_INVALIDARG;
    {
        platform::MutexLock lock(m_stateMutex);
        std::vector<uint32_t>& items = m_definitions[request.defineId];
        if (items.size() >= simconnect::kMaxDefinitionItems) return E_FAIL;
        items.push_back(request.datumType);
    }
    return Send(request);
}

HRESULT Connection::Send(const simconnect::RequestBody& body) {
    platform::MutexLock lock(m_sendMutex);
    if (m_status.load() != S_OK || m_writeStatus.load() != S_OK) return E_FAIL;
    const std::vector<uint8_t> frame = simconnect::EncodeRequest(m_protocol, ++m_nextSendId, body);
    const auto written = m_stream->WriteAll(frame.data(), frame.size());
    if (!written.IsOk()) {
        // A frame cut short leaves the stream unusable whatever the cause.
        HRESULT expected = S_OK;
        m_writeStatus.compare_exchange_strong(expected, StatusFor(written.status));
        return E_FAIL;
    }
    return S_OK;
}

void Connection::ReadAvailable() {
    size_t taken = 0;
    uint8_t chunk[65536];
    while (!m_endOfStream && taken < kMaxReadPerDispatch) {
        const auto read = m_stream->Read(chunk, sizeof(chunk));
        switch (read.status.Kind()) {
            case platform::ErrorKind::kOk:
                m_input.insert(m_input.end(), chunk, chunk + read.value);
                taken += read.value;
                continue;
            case platform::ErrorKind::kClosed:
                m_endOfStream = true;
                return;
            case platform::ErrorKind::kWouldBlock:
                return;
            default:
                Fail(StatusFor(read.status));
                return;
        }
    }
}

bool Connection::IsValid(const uint8_t* frame, uint32_t size, std::string* error) {
    platform::MutexLock lock(m_stateMutex);
    auto lookup = [this](uint32_t defineId) NO_THREAD_SAFETY_ANALYSIS {
        const auto found = m_definitions.find(defineId);
        return found == m_definitions.end() ? nullptr : &found->second;
    };
    return simconnect::ValidateMessage(frame, size, lookup, error, m_maxMessageSize);
}

HRESULT Connection::Dispatch(DispatchProc proc, void* context) {
    platform::MutexLock lock(m_readMutex);
    if (m_status.load() == S_OK) {
        uint32_t pendingSize = 0;
        const bool wholeFramePending =
            simconnect::PeekFrame(m_input.data(), m_input.size(), simconnect::kMessageHeaderSize,
                                  &pendingSize,
                                  m_maxMessageSize) != simconnect::FrameStatus::kIncomplete;
        if (!wholeFramePending && !m_endOfStream) m_stream->WaitReadable(kIdleWait);
        ReadAvailable();
    }

    bool delivered = false;
    size_t consumed = 0;
    std::vector<uint64_t> message;  // 8-byte aligned, so the data's doubles are too
    // Frames that arrived whole before a reset or the end of the stream are still delivered.
    for (;;) {
        uint32_t size = 0;
        const auto status =
            simconnect::PeekFrame(m_input.data() + consumed, m_input.size() - consumed,
                                  simconnect::kMessageHeaderSize, &size, m_maxMessageSize);
        if (status == simconnect::FrameStatus::kIncomplete) break;
        if (status == simconnect::FrameStatus::kMalformed ||
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

}  // namespace simconnect

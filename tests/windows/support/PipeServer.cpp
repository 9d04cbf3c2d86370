#include "tests/windows/support/PipeServer.h"

#include <windows.h>

#include <algorithm>
#include <utility>

namespace txtest {

// The instance, and the event and OVERLAPPED of its pending connect, read or write. The system
// fills the OVERLAPPED of a pending connect when a client comes: it lives as long as the server.
struct PipeServer::Handles {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED connect{};

    // `overlapped` fresh on the event; the event reset.
    OVERLAPPED* Fresh(OVERLAPPED* overlapped) {
        *overlapped = OVERLAPPED{};
        overlapped->hEvent = event;
        ::ResetEvent(event);
        return overlapped;
    }
};

PipeServer::PipeServer(std::string name)
    : m_name(std::move(name)), m_handles(std::make_unique<Handles>()) {}

PipeServer::~PipeServer() {
    Close();
    ::CloseHandle(m_handles->event);
}

bool PipeServer::Create() {
    Close();
    m_handles->pipe = ::CreateNamedPipeA(m_name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096,
                                         4096, 0, nullptr);
    if (m_handles->pipe != INVALID_HANDLE_VALUE) return Listen();
    m_lastError = ::GetLastError();
    return false;
}

bool PipeServer::Listen() {
    ::DisconnectNamedPipe(m_handles->pipe);  // a new instance has none: fails harmlessly
    if (::ConnectNamedPipe(m_handles->pipe, m_handles->Fresh(&m_handles->connect))) return true;
    m_lastError = ::GetLastError();
    if (m_lastError == ERROR_PIPE_CONNECTED) ::SetEvent(m_handles->event);
    return m_lastError == ERROR_PIPE_CONNECTED || m_lastError == ERROR_IO_PENDING;
}

bool PipeServer::WaitForClient(std::chrono::milliseconds timeout) {
    return m_handles->pipe != INVALID_HANDLE_VALUE &&
           ::WaitForSingleObject(m_handles->event, static_cast<DWORD>(timeout.count())) ==
               WAIT_OBJECT_0;
}

std::string PipeServer::Read(size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string got;
    char buffer[4096];
    DWORD read = 0;
    for (OVERLAPPED overlapped; got.size() < count; got.append(buffer, read)) {
        const DWORD want = static_cast<DWORD>(std::min(count - got.size(), sizeof buffer));
        if (!::ReadFile(m_handles->pipe, buffer, want, nullptr, m_handles->Fresh(&overlapped)) &&
            ::GetLastError() != ERROR_IO_PENDING)
            break;
        const auto left = std::max(deadline - std::chrono::steady_clock::now(),
                                   std::chrono::steady_clock::duration::zero());
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
        if (::WaitForSingleObject(m_handles->event, static_cast<DWORD>(ms)) != WAIT_OBJECT_0)
            ::CancelIoEx(m_handles->pipe, &overlapped);
        if (!::GetOverlappedResult(m_handles->pipe, &overlapped, &read, TRUE)) break;
    }
    if (got.size() < count) m_lastError = ::GetLastError();
    return got;
}

bool PipeServer::Write(const std::string& bytes) {
    OVERLAPPED overlapped;
    DWORD written = 0;
    if (!::WriteFile(m_handles->pipe, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr,
                     m_handles->Fresh(&overlapped)) &&
        ::GetLastError() != ERROR_IO_PENDING)
        return false;
    return ::GetOverlappedResult(m_handles->pipe, &overlapped, &written, TRUE) &&
           written == bytes.size();
}

void PipeServer::Close() {
    if (m_handles->pipe == INVALID_HANDLE_VALUE) return;
    ::CancelIoEx(m_handles->pipe, nullptr);
    ::CloseHandle(m_handles->pipe);
    m_handles->pipe = INVALID_HANDLE_VALUE;
}

}  // namespace txtest

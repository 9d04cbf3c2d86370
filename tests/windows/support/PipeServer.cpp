#include "tests/windows/support/PipeServer.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <utility>

namespace txtest {
namespace {

HANDLE AsHandle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

DWORD Milliseconds(std::chrono::milliseconds span) {
    return span.count() <= 0 ? 0 : static_cast<DWORD>(span.count());
}

}  // namespace

PipeServer::PipeServer(std::string name, bool duplex)
    : m_name(std::move(name)), m_duplex(duplex), m_overlapped(new OVERLAPPED{}) {
    m_event = reinterpret_cast<std::intptr_t>(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

PipeServer::~PipeServer() {
    Close();
    if (m_event != 0) ::CloseHandle(AsHandle(m_event));
    delete static_cast<OVERLAPPED*>(m_overlapped);
}

std::string PipeServer::UniqueName(const std::string& tag) {
    static std::atomic<int> counter{0};
    return "\\\\.\\pipe\\tx-test-" + std::to_string(::GetCurrentProcessId()) + "-" + tag + "-" +
           std::to_string(counter++);
}

bool PipeServer::Create() {
    Close();
    const DWORD access =
        (m_duplex ? PIPE_ACCESS_DUPLEX : PIPE_ACCESS_INBOUND) | FILE_FLAG_OVERLAPPED;
    const HANDLE pipe =
        ::CreateNamedPipeA(m_name.c_str(), access, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                           1, 4096, 4096, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        m_lastError = ::GetLastError();
        return false;
    }
    m_pipe = reinterpret_cast<std::intptr_t>(pipe);
    return Listen();
}

bool PipeServer::Listen() {
    if (m_pipe == -1) return false;
    // The system fills the OVERLAPPED of a pending connect when a client comes: it lives as long
    // as the server.
    auto* overlapped = static_cast<OVERLAPPED*>(m_overlapped);
    *overlapped = OVERLAPPED{};
    overlapped->hEvent = AsHandle(m_event);
    ::ResetEvent(overlapped->hEvent);
    if (::ConnectNamedPipe(AsHandle(m_pipe), overlapped)) return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_PIPE_CONNECTED) {
        ::SetEvent(overlapped->hEvent);
        return true;
    }
    if (error == ERROR_IO_PENDING) return true;
    m_lastError = error;
    return false;
}

bool PipeServer::WaitForClient(std::chrono::milliseconds timeout) {
    if (m_pipe == -1) return false;
    return ::WaitForSingleObject(AsHandle(m_event), Milliseconds(timeout)) == WAIT_OBJECT_0;
}

std::string PipeServer::Read(size_t count, std::chrono::milliseconds timeout) {
    std::string got;
    if (m_pipe == -1) return got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[4096];
    while (got.size() < count) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = AsHandle(m_event);
        ::ResetEvent(overlapped.hEvent);
        const DWORD want = static_cast<DWORD>(std::min(count - got.size(), sizeof buffer));
        DWORD read = 0;
        if (!::ReadFile(AsHandle(m_pipe), buffer, want, nullptr, &overlapped) &&
            ::GetLastError() != ERROR_IO_PENDING) {
            m_lastError = ::GetLastError();
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (::WaitForSingleObject(overlapped.hEvent, Milliseconds(left)) != WAIT_OBJECT_0)
            ::CancelIoEx(AsHandle(m_pipe), &overlapped);
        if (!::GetOverlappedResult(AsHandle(m_pipe), &overlapped, &read, TRUE)) {
            m_lastError = ::GetLastError();
            break;
        }
        got.append(buffer, read);
    }
    return got;
}

bool PipeServer::Write(const std::string& bytes) {
    if (m_pipe == -1) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = AsHandle(m_event);
    ::ResetEvent(overlapped.hEvent);
    DWORD written = 0;
    if (!::WriteFile(AsHandle(m_pipe), bytes.data(), static_cast<DWORD>(bytes.size()), nullptr,
                     &overlapped) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        m_lastError = ::GetLastError();
        return false;
    }
    if (!::GetOverlappedResult(AsHandle(m_pipe), &overlapped, &written, TRUE)) {
        m_lastError = ::GetLastError();
        return false;
    }
    return written == bytes.size();
}

void PipeServer::Disconnect() {
    if (m_pipe != -1) ::DisconnectNamedPipe(AsHandle(m_pipe));
}

void PipeServer::Close() {
    if (m_pipe == -1) return;
    ::CancelIoEx(AsHandle(m_pipe), nullptr);
    ::CloseHandle(AsHandle(m_pipe));
    m_pipe = -1;
}

}  // namespace txtest

// The pipe's client end as the Windows named pipe itself.

#include <windows.h>

#include <algorithm>

#include "platform/PipeConnection.h"
#include "platform/WindowsError.h"

namespace platform {
namespace {

// 232: the gauge closed its end (or ended); 233: it disconnected this client; 109: the pipe has
// been ended under a write. The gauge has gone in each case.
Status WriteError(DWORD error) {
    if (error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_BROKEN_PIPE)
        return Status(ErrorKind::kClosed, static_cast<int>(error));
    return WindowsError(error);
}

class NamedPipe final : public PipeConnection {
  public:
    NamedPipe(HANDLE pipe, HANDLE written) : m_pipe(pipe), m_written(written) {}
    // DisconnectNamedPipe belongs to the server end; the client's part is closing its handle.
    ~NamedPipe() override {
        ::CloseHandle(m_pipe);
        ::CloseHandle(m_written);
    }

    Status SetWriteMode(std::chrono::milliseconds writeTimeout) override {
        m_writeTimeout = writeTimeout;
        DWORD mode = PIPE_READMODE_BYTE;
        if (::SetNamedPipeHandleState(m_pipe, &mode, nullptr, nullptr)) return Status();
        return WindowsError(::GetLastError());
    }

    Result<size_t> Write(const uint8_t* data, size_t size) override {
        Result<size_t> write;
        while (write.value < size) {
            DWORD done = 0;
            const DWORD error = WriteOnce(data + write.value, size - write.value, done);
            write.value += done;
            if (error != ERROR_SUCCESS) {
                write.status = WriteError(error);
                return write;
            }
        }
        return write;
    }

  private:
    // One overlapped write, waited for at most the write time-out: a synchronous WriteFile on a
    // pipe whose reader has stopped would wait for ever once the pipe's buffer is full.
    DWORD WriteOnce(const uint8_t* data, size_t size, DWORD& done) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = m_written;
        const DWORD length = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
        if (!::WriteFile(m_pipe, data, length, nullptr, &overlapped)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_IO_PENDING) return error;
            const DWORD waitMs =
                static_cast<DWORD>(std::clamp<long long>(m_writeTimeout.count(), 0, INFINITE - 1));
            if (::WaitForSingleObject(m_written, waitMs) == WAIT_TIMEOUT) {
                ::CancelIoEx(m_pipe, &overlapped);
                // The write may have finished while it was being cancelled; then it counts.
                if (::GetOverlappedResult(m_pipe, &overlapped, &done, TRUE)) return ERROR_SUCCESS;
                const DWORD error = ::GetLastError();
                return error == ERROR_OPERATION_ABORTED ? WAIT_TIMEOUT : error;
            }
        }
        if (::GetOverlappedResult(m_pipe, &overlapped, &done, TRUE)) return ERROR_SUCCESS;
        return ::GetLastError();
    }

    const HANDLE m_pipe;
    const HANDLE m_written;  // the event of the write under way
    std::chrono::milliseconds m_writeTimeout{5000};
};

HANDLE OpenForWriting(const std::string& name) {
    // Overlapped, so that a write can be given up after its time-out.
    return ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
}

}  // namespace

Result<std::unique_ptr<PipeConnection>> OpenPipe(const std::string& name,
                                                 std::chrono::milliseconds busyWait) {
    const auto deadline = std::chrono::steady_clock::now() + busyWait;
    HANDLE pipe = OpenForWriting(name);
    DWORD error = pipe == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
    // Every instance taken: wait for the gauge to offer one again and take it, as often as
    // another client is quicker, within the one wait.
    while (pipe == INVALID_HANDLE_VALUE && error == ERROR_PIPE_BUSY) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (!::WaitNamedPipeA(name.c_str(), static_cast<DWORD>(left.count()))) {
            error = ::GetLastError();
            break;
        }
        pipe = OpenForWriting(name);
        error = pipe == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
    }
    if (pipe == INVALID_HANDLE_VALUE) return {WindowsError(error)};

    const HANDLE written = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (written == nullptr) {
        error = ::GetLastError();
        ::CloseHandle(pipe);
        return {WindowsError(error)};
    }
    return {Status(), std::make_unique<NamedPipe>(pipe, written)};
}

}  // namespace platform

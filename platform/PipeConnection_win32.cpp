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

    Status SetWriteMode() override {
        DWORD mode = PIPE_READMODE_BYTE;
        if (::SetNamedPipeHandleState(m_pipe, &mode, nullptr, nullptr)) return Status();
        return WindowsError(::GetLastError());
    }

    Result<size_t> Write(const uint8_t* data, size_t size, const PipeWait& wait) override {
        const auto deadline = std::chrono::steady_clock::now() + wait.timeout;
        Result<size_t> write;
        while (write.value < size) {
            DWORD done = 0;
            const DWORD error =
                WriteOnce(data + write.value, size - write.value, wait, deadline, done);
            write.value += done;
            if (error != ERROR_SUCCESS) {
                write.status = WriteError(error);
                return write;
            }
        }
        return write;
    }

  private:
    // One overlapped write, waited for as long as `wait` allows, a slice at a time: a synchronous
    // WriteFile on a pipe whose reader has stopped would wait for ever once the pipe's buffer is
    // full, and nothing could end it early.
    DWORD WriteOnce(const uint8_t* data, size_t size, const PipeWait& wait,
                    std::chrono::steady_clock::time_point deadline, DWORD& done) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = m_written;
        const DWORD length = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
        if (!::WriteFile(m_pipe, data, length, nullptr, &overlapped)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_IO_PENDING) return error;
            const auto slice = static_cast<DWORD>(PipeWait::kCheckEvery.count());
            DWORD waited = WAIT_TIMEOUT;
            while ((waited = ::WaitForSingleObject(m_written, slice)) == WAIT_TIMEOUT &&
                   !wait.IsOver(deadline)) {
            }
            if (waited == WAIT_TIMEOUT) {
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
};

HANDLE OpenForWriting(const std::string& name) {
    // Overlapped, so that a write can be given up after its time-out.
    return ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
}

}  // namespace

Result<std::unique_ptr<PipeConnection>> OpenPipe(const std::string& name,
                                                 const PipeWait& busyWait) {
    const auto deadline = std::chrono::steady_clock::now() + busyWait.timeout;
    HANDLE pipe = OpenForWriting(name);
    DWORD error = pipe == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
    // Every instance taken: wait for the gauge to offer one again and take it, as often as
    // another client is quicker, within the one wait. The wait goes a slice at a time, so that a
    // stop ends it early (its error is then the time-out's).
    while (pipe == INVALID_HANDLE_VALUE &&
           (error == ERROR_PIPE_BUSY || error == ERROR_SEM_TIMEOUT)) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || busyWait.IsOver(deadline)) break;
        const auto slice = std::min(left, std::chrono::milliseconds(PipeWait::kCheckEvery));
        if (!::WaitNamedPipeA(name.c_str(), static_cast<DWORD>(slice.count()))) {
            error = ::GetLastError();
            continue;
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

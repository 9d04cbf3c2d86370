// The simulator's byte stream on Windows: TCP on IPv4 or IPv6 (platform/SocketStream), or the
// simulator's named pipe.

#include <windows.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "platform/ByteStream.h"
#include "platform/SocketStream.h"

namespace platform {
namespace {

// How long one write may wait for a simulator that does not read.
constexpr DWORD kSendTimeoutMs = 2000;
// A connection attempt looks at its cancel flag at least this often.
constexpr long long kCancelCheckMs = 50;
// What one pipe read asks for: any message the simulator sends fits.
constexpr DWORD kPipeReadSize = 64 * 1024;

// A pipe write that failed: nothing the link tells apart from another.
Status Failed(DWORD error) {
    return Status(ErrorKind::kFailed, static_cast<int>(error));
}

long long MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    return std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
        .count();
}

// The simulator's named pipe, opened for overlapped I/O: a read waits while a write goes out on
// another thread (synchronous calls on one pipe handle would wait for each other), and both can
// be given up. The reader keeps one read under way at a time and hands out what it brought.
class PipeStream final : public ByteStream {
  public:
    PipeStream(HANDLE pipe, HANDLE readDone, HANDLE writeDone, HANDLE shutdown)
        : m_pipe(pipe),
          m_readDone(readDone),
          m_writeDone(writeDone),
          m_shutdownEvent(shutdown),
          m_buffer(kPipeReadSize) {}
    ~PipeStream() override {
        ::CancelIoEx(m_pipe, nullptr);
        // The system writes into the buffer and the OVERLAPPED until the read has ended.
        if (m_readPending) {
            DWORD ignored = 0;
            ::GetOverlappedResult(m_pipe, &m_readOverlapped, &ignored, TRUE);
        }
        ::CloseHandle(m_pipe);
        ::CloseHandle(m_readDone);
        ::CloseHandle(m_writeDone);
        ::CloseHandle(m_shutdownEvent);
    }

    bool WaitReadable(std::chrono::milliseconds timeout) override {
        if (HasSomethingToReport()) return true;
        if (!m_readPending) {
            StartRead();
            if (HasSomethingToReport()) return true;
        }
        const HANDLE events[] = {m_readDone, m_shutdownEvent};
        const DWORD waitMs = static_cast<DWORD>(std::clamp<long long>(timeout.count(), 0, INT_MAX));
        const DWORD woken = ::WaitForMultipleObjects(2, events, FALSE, waitMs);
        if (woken == WAIT_OBJECT_0) FinishRead(false);
        return woken != WAIT_TIMEOUT;
    }

    Result<size_t> Read(uint8_t* buffer, size_t capacity) override {
        if (m_shutdown.load()) return {Status(ErrorKind::kClosed)};
        if (m_readPending) FinishRead(false);
        if (!m_readPending && m_end == m_begin && m_readError == ERROR_SUCCESS) StartRead();
        if (m_begin < m_end) {
            const size_t n = std::min(capacity, m_end - m_begin);
            std::copy_n(m_buffer.data() + m_begin, n, buffer);
            m_begin += n;
            return {Status(), n};
        }
        switch (m_readError) {
            case ERROR_SUCCESS:
                return {Status(ErrorKind::kWouldBlock)};
            // The simulator closed its end, or disconnected this client.
            case ERROR_BROKEN_PIPE:
            case ERROR_PIPE_NOT_CONNECTED:
                return {Status(ErrorKind::kClosed, static_cast<int>(m_readError))};
            default:
                return {Status(ErrorKind::kFailed, static_cast<int>(m_readError))};
        }
    }

    Result<size_t> WriteAll(const uint8_t* data, size_t size) override {
        size_t sent = 0;
        while (sent < size) {
            if (m_shutdown.load()) return {Status(ErrorKind::kFailed), sent};
            OVERLAPPED overlapped{};
            overlapped.hEvent = m_writeDone;
            const DWORD length = static_cast<DWORD>(std::min<size_t>(size - sent, 1u << 20));
            DWORD written = 0;
            if (!::WriteFile(m_pipe, data + sent, length, nullptr, &overlapped)) {
                const DWORD error = ::GetLastError();
                if (error != ERROR_IO_PENDING) return {Failed(error), sent};
                const HANDLE events[] = {m_writeDone, m_shutdownEvent};
                if (::WaitForMultipleObjects(2, events, FALSE, kSendTimeoutMs) != WAIT_OBJECT_0)
                    ::CancelIoEx(m_pipe, &overlapped);
            }
            // Waits for the end of a cancelled write too: the OVERLAPPED lives on this stack.
            if (!::GetOverlappedResult(m_pipe, &overlapped, &written, TRUE))
                return {Failed(::GetLastError()), sent + written};
            sent += written;
        }
        return {Status(), sent};
    }

    void Shutdown() override {
        m_shutdown = true;
        ::SetEvent(m_shutdownEvent);
        ::CancelIoEx(m_pipe, nullptr);
    }

  private:
    bool HasSomethingToReport() const {
        return m_begin < m_end || m_readError != ERROR_SUCCESS || m_shutdown.load();
    }

    void StartRead() {
        m_begin = m_end = 0;
        m_readOverlapped = OVERLAPPED{};
        m_readOverlapped.hEvent = m_readDone;
        ::ResetEvent(m_readDone);
        const BOOL done =
            ::ReadFile(m_pipe, m_buffer.data(), kPipeReadSize, nullptr, &m_readOverlapped);
        const DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
        if (done || error == ERROR_IO_PENDING || error == ERROR_MORE_DATA) {
            m_readPending = true;
            FinishRead(false);
            return;
        }
        m_readError = error;
    }

    // Takes the result of the read under way if it has ended (or, with `wait`, once it has).
    void FinishRead(bool wait) {
        DWORD got = 0;
        if (::GetOverlappedResult(m_pipe, &m_readOverlapped, &got, wait ? TRUE : FALSE)) {
            m_readPending = false;
            m_begin = 0;
            m_end = got;
            return;
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_INCOMPLETE) return;
        m_readPending = false;
        // A message longer than the buffer on a message pipe: the rest comes with the next read.
        if (error == ERROR_MORE_DATA) {
            m_begin = 0;
            m_end = got;
            return;
        }
        m_readError = error;
    }

    const HANDLE m_pipe;
    const HANDLE m_readDone;
    const HANDLE m_writeDone;
    const HANDLE m_shutdownEvent;
    std::atomic<bool> m_shutdown{false};
    // The reading thread's own: the read under way and what it brought.
    std::vector<uint8_t> m_buffer;
    OVERLAPPED m_readOverlapped{};
    bool m_readPending = false;
    size_t m_begin = 0;
    size_t m_end = 0;
    DWORD m_readError = ERROR_SUCCESS;
};

Result<ConnectedStream> ConnectPipe(const StreamTarget& target, std::chrono::milliseconds timeout,
                                    const std::atomic<bool>& cancel) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const std::string name = "\\\\" + target.address + "\\pipe\\" + target.port;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (;;) {
        if (cancel.load()) return {Status(ErrorKind::kCancelled)};
        pipe = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) break;
        const DWORD error = ::GetLastError();
        // Every instance taken: the simulator offers a new one as it takes a client.
        if (error != ERROR_PIPE_BUSY)
            return {Status(ErrorKind::kNoServer, static_cast<int>(error))};
        const long long left = MillisecondsLeft(deadline);
        if (left <= 0) return {Status(ErrorKind::kNoServer, 0, "no answer in time")};
        ::WaitNamedPipeA(name.c_str(), static_cast<DWORD>(std::min(left, kCancelCheckMs)));
    }

    // A message pipe is read as a stream all the same: the frames carry their own sizes.
    DWORD mode = PIPE_READMODE_BYTE;
    const HANDLE readDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE writeDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE shutdown = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr) || readDone == nullptr ||
        writeDone == nullptr || shutdown == nullptr) {
        const Status failed(ErrorKind::kNoServer, static_cast<int>(::GetLastError()));
        for (const HANDLE handle : {readDone, writeDone, shutdown})
            if (handle != nullptr) ::CloseHandle(handle);
        ::CloseHandle(pipe);
        return {failed};
    }
    return {Status(),
            ConnectedStream{std::make_unique<PipeStream>(pipe, readDone, writeDone, shutdown),
                            target.address == "."}};
}

}  // namespace

// The simulator's own default: its named pipe on this machine.
StreamTarget DefaultSimulatorTarget() {
    return StreamTarget{StreamTarget::Kind::Pipe, ".", "Microsoft Flight Simulator\\SimConnect",
                        false};
}

Result<ConnectedStream> ConnectStream(const StreamTarget& target, std::chrono::milliseconds timeout,
                                      const std::atomic<bool>& cancel) {
    if (target.kind == StreamTarget::Kind::Pipe) return ConnectPipe(target, timeout, cancel);
    return ConnectSocketStream(target, timeout, cancel);
}

}  // namespace platform

// The simulator's byte stream on Windows: TCP on IPv4 or IPv6 over Winsock, or the simulator's
// named pipe.

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "platform/ByteStream.h"

namespace platform {
namespace {

// How long one write may wait for a simulator that does not read.
constexpr DWORD kSendTimeoutMs = 2000;
// A connection attempt looks at its cancel flag at least this often; so does a wait for bytes at
// the stream's own shutdown.
constexpr long long kCancelCheckMs = 50;
// What one pipe read asks for: any message the simulator sends fits.
constexpr DWORD kPipeReadSize = 64 * 1024;

std::string SystemText(DWORD error) {
    char buffer[512] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                         MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(error) : text;
}

long long MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    return std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
        .count();
}

// A connected TCP socket. It holds a reference on the socket library for its lifetime: the
// simulator link has no other owner of it.
class SocketStream final : public ByteStream {
  public:
    explicit SocketStream(SOCKET socket) : m_socket(socket) {}
    ~SocketStream() override {
        ::closesocket(m_socket);
        ::WSACleanup();
    }

    bool WaitReadable(std::chrono::milliseconds timeout) override {
        // Whether a local shutdown wakes a poll is not promised on Windows: the wait is made in
        // slices that look at the flag.
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (m_shutdown.load()) return true;
            const long long left = std::max(0LL, MillisecondsLeft(deadline));
            WSAPOLLFD waiter{};
            waiter.fd = m_socket;
            waiter.events = POLLRDNORM;
            const int ready =
                ::WSAPoll(&waiter, 1, static_cast<INT>(std::min(left, kCancelCheckMs)));
            if (ready != 0) return true;  // readable, or an error the read reports
            if (left <= kCancelCheckMs) return false;
        }
    }

    IoResult Read(uint8_t* buffer, size_t capacity) override {
        if (m_shutdown.load()) return {Status::End, 0};
        // A blocking socket: the read must not wait, so it is made only when it would not.
        WSAPOLLFD waiter{};
        waiter.fd = m_socket;
        waiter.events = POLLRDNORM;
        if (::WSAPoll(&waiter, 1, 0) == 0) return {Status::WouldBlock, 0};
        const int n = ::recv(m_socket, reinterpret_cast<char*>(buffer),
                             static_cast<int>(std::min<size_t>(capacity, INT_MAX)), 0);
        if (n > 0) return {Status::Ok, static_cast<size_t>(n)};
        if (n == 0) return {Status::End, 0};
        const int error = ::WSAGetLastError();
        if (error == WSAEWOULDBLOCK) return {Status::WouldBlock, 0};
        if (error == WSAESHUTDOWN) return {Status::End, 0};
        return {error == WSAECONNRESET || error == WSAECONNABORTED ? Status::Reset : Status::Failed,
                0};
    }

    IoResult WriteAll(const uint8_t* data, size_t size) override {
        size_t sent = 0;
        while (sent < size) {
            const int n = ::send(m_socket, reinterpret_cast<const char*>(data + sent),
                                 static_cast<int>(std::min<size_t>(size - sent, INT_MAX)), 0);
            if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEINTR) continue;
            if (n <= 0) {
                const int error = n < 0 ? ::WSAGetLastError() : 0;
                const bool reset = error == WSAECONNRESET || error == WSAECONNABORTED;
                return {reset ? Status::Reset : Status::Failed, sent};
            }
            sent += static_cast<size_t>(n);
        }
        return {Status::Ok, sent};
    }

    void Shutdown() override {
        m_shutdown = true;
        ::shutdown(m_socket, SD_BOTH);
    }

  private:
    const SOCKET m_socket;
    std::atomic<bool> m_shutdown{false};
};

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

    IoResult Read(uint8_t* buffer, size_t capacity) override {
        if (m_shutdown.load()) return {Status::End, 0};
        if (m_readPending) FinishRead(false);
        if (!m_readPending && m_end == m_begin && m_readError == ERROR_SUCCESS) StartRead();
        if (m_begin < m_end) {
            const size_t n = std::min(capacity, m_end - m_begin);
            std::copy_n(m_buffer.data() + m_begin, n, buffer);
            m_begin += n;
            return {Status::Ok, n};
        }
        switch (m_readError) {
            case ERROR_SUCCESS:
                return {Status::WouldBlock, 0};
            // The simulator closed its end, or disconnected this client.
            case ERROR_BROKEN_PIPE:
            case ERROR_PIPE_NOT_CONNECTED:
                return {Status::End, 0};
            default:
                return {Status::Failed, 0};
        }
    }

    IoResult WriteAll(const uint8_t* data, size_t size) override {
        size_t sent = 0;
        while (sent < size) {
            if (m_shutdown.load()) return {Status::Failed, sent};
            OVERLAPPED overlapped{};
            overlapped.hEvent = m_writeDone;
            const DWORD length = static_cast<DWORD>(std::min<size_t>(size - sent, 1u << 20));
            DWORD written = 0;
            if (!::WriteFile(m_pipe, data + sent, length, nullptr, &overlapped)) {
                if (::GetLastError() != ERROR_IO_PENDING) return {Status::Failed, sent};
                const HANDLE events[] = {m_writeDone, m_shutdownEvent};
                if (::WaitForMultipleObjects(2, events, FALSE, kSendTimeoutMs) != WAIT_OBJECT_0)
                    ::CancelIoEx(m_pipe, &overlapped);
            }
            // Waits for the end of a cancelled write too: the OVERLAPPED lives on this stack.
            if (!::GetOverlappedResult(m_pipe, &overlapped, &written, TRUE))
                return {Status::Failed, sent + written};
            sent += written;
        }
        return {Status::Ok, sent};
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

bool IsLoopback(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    }
    if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr)) return true;
        return IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr) && v6->sin6_addr.s6_addr[12] == 127;
    }
    return false;
}

// Connects one non-blocking socket to one address without waiting past `deadline` or a cancel.
ConnectResult::Error ConnectOne(SOCKET socket, const addrinfo& address,
                                std::chrono::steady_clock::time_point deadline,
                                const std::atomic<bool>& cancel, std::string* detail) {
    if (::connect(socket, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0)
        return ConnectResult::Error::None;
    const int started = ::WSAGetLastError();
    if (started != WSAEWOULDBLOCK) {
        *detail = SystemText(static_cast<DWORD>(started));
        return ConnectResult::Error::NoServer;
    }
    for (;;) {
        if (cancel.load()) return ConnectResult::Error::Cancelled;
        const long long left = MillisecondsLeft(deadline);
        if (left <= 0) {
            *detail = "no answer in time";
            return ConnectResult::Error::NoServer;
        }
        // select, not WSAPoll: Windows reports a refused connection to select (in the exception
        // set), where WSAPoll has missed it.
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(socket, &writable);
        FD_SET(socket, &failed);
        const long long slice = std::min(left, kCancelCheckMs);
        timeval wait{static_cast<long>(slice / 1000), static_cast<long>((slice % 1000) * 1000)};
        const int ready = ::select(0, nullptr, &writable, &failed, &wait);
        if (ready == SOCKET_ERROR) {
            *detail = SystemText(static_cast<DWORD>(::WSAGetLastError()));
            return ConnectResult::Error::NoServer;
        }
        if (ready == 0) continue;
        int error = 0;
        int length = sizeof error;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) !=
            0)
            error = ::WSAGetLastError();
        if (error == 0 && FD_ISSET(socket, &writable)) return ConnectResult::Error::None;
        *detail = SystemText(static_cast<DWORD>(error != 0 ? error : WSAECONNREFUSED));
        return ConnectResult::Error::NoServer;
    }
}

ConnectResult ConnectTcp(const StreamTarget& target, std::chrono::milliseconds timeout,
                         const std::atomic<bool>& cancel) {
    ConnectResult result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // Each stream holds a reference on the library; this one is handed to it, or dropped below.
    WSADATA data{};
    if (const int error = ::WSAStartup(MAKEWORD(2, 2), &data); error != 0) {
        result.error = ConnectResult::Error::Unsupported;
        result.detail = SystemText(static_cast<DWORD>(error));
        return result;
    }

    addrinfo hints{};
    hints.ai_family = target.kind == StreamTarget::Kind::IPv6 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(target.address.c_str(), target.port.c_str(), &hints, &found);
    if (lookup != 0 || found == nullptr) {
        result.error = ConnectResult::Error::Unresolved;
        result.detail = SystemText(static_cast<DWORD>(lookup != 0 ? lookup : WSAHOST_NOT_FOUND));
        ::WSACleanup();
        return result;
    }

    result.error = ConnectResult::Error::NoServer;
    for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
        const SOCKET socket =
            ::WSASocketW(address->ai_family, address->ai_socktype, address->ai_protocol, nullptr, 0,
                         WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
        if (socket == INVALID_SOCKET) {
            result.detail = SystemText(static_cast<DWORD>(::WSAGetLastError()));
            continue;
        }
        u_long nonBlocking = 1;
        ::ioctlsocket(socket, FIONBIO, &nonBlocking);
        result.error = ConnectOne(socket, *address, deadline, cancel, &result.detail);
        if (result.error != ConnectResult::Error::None) {
            ::closesocket(socket);
            if (result.error == ConnectResult::Error::Cancelled) break;
            continue;
        }
        // Reads never wait (the stream's reader polls first); writes wait a bounded time.
        nonBlocking = 0;
        ::ioctlsocket(socket, FIONBIO, &nonBlocking);
        ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO,
                     reinterpret_cast<const char*>(&kSendTimeoutMs), sizeof kSendTimeoutMs);
        if (target.disableNagle) {
            const BOOL on = TRUE;
            ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                         sizeof on);
        }
        result.onThisMachine = IsLoopback(address->ai_addr);
        result.stream = std::make_unique<SocketStream>(socket);
        result.detail.clear();
        break;
    }
    ::freeaddrinfo(found);
    if (!result.stream) ::WSACleanup();
    return result;
}

ConnectResult ConnectPipe(const StreamTarget& target, std::chrono::milliseconds timeout,
                          const std::atomic<bool>& cancel) {
    ConnectResult result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const std::string name = "\\\\" + target.address + "\\pipe\\" + target.port;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (;;) {
        if (cancel.load()) {
            result.error = ConnectResult::Error::Cancelled;
            return result;
        }
        pipe = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) break;
        const DWORD error = ::GetLastError();
        // Every instance taken: the simulator offers a new one as it takes a client.
        if (error != ERROR_PIPE_BUSY) {
            result.error = ConnectResult::Error::NoServer;
            result.detail = SystemText(error);
            return result;
        }
        const long long left = MillisecondsLeft(deadline);
        if (left <= 0) {
            result.error = ConnectResult::Error::NoServer;
            result.detail = "no answer in time";
            return result;
        }
        ::WaitNamedPipeA(name.c_str(), static_cast<DWORD>(std::min(left, kCancelCheckMs)));
    }

    // A message pipe is read as a stream all the same: the frames carry their own sizes.
    DWORD mode = PIPE_READMODE_BYTE;
    const HANDLE readDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE writeDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE shutdown = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr) || readDone == nullptr ||
        writeDone == nullptr || shutdown == nullptr) {
        result.error = ConnectResult::Error::NoServer;
        result.detail = SystemText(::GetLastError());
        for (const HANDLE handle : {readDone, writeDone, shutdown})
            if (handle != nullptr) ::CloseHandle(handle);
        ::CloseHandle(pipe);
        return result;
    }
    result.onThisMachine = target.address == ".";
    result.stream = std::make_unique<PipeStream>(pipe, readDone, writeDone, shutdown);
    return result;
}

}  // namespace

// The simulator's own default: its named pipe on this machine.
StreamTarget DefaultSimulatorTarget() {
    return StreamTarget{StreamTarget::Kind::Pipe, ".", "Microsoft Flight Simulator\\SimConnect",
                        false};
}

ConnectResult ConnectStream(const StreamTarget& target, std::chrono::milliseconds timeout,
                            const std::atomic<bool>& cancel) {
    if (target.kind == StreamTarget::Kind::Pipe) return ConnectPipe(target, timeout, cancel);
    return ConnectTcp(target, timeout, cancel);
}

}  // namespace platform

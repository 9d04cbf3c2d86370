// The web server's socket calls over Winsock 2.

#include <winsock2.h>
#include <ws2tcpip.h>
// The adapter list's types come from Winsock 2.
#include <iphlpapi.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <vector>

#include "platform/Net.h"

namespace platform {
namespace {

SOCKET Native(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

// The outcome of a call that returned `result`, WSAGetLastError() telling why when it failed.
// A send time-out (WSAETIMEDOUT from SO_SNDTIMEO) counts as "would block", as the interface has
// it; Windows leaves the socket unfit for more sends then, which the callers never try.
NetResult ResultOf(int result, bool sending) {
    if (result != SOCKET_ERROR) return {NetStatus::kOk, static_cast<size_t>(result), 0};
    const int error = ::WSAGetLastError();
    if (error == WSAEINTR) return {NetStatus::kInterrupted, 0, error};
    if (error == WSAEWOULDBLOCK || (sending && error == WSAETIMEDOUT))
        return {NetStatus::kWouldBlock, 0, error};
    return {NetStatus::kFailed, 0, error};
}

int ClampToInt(size_t size) {
    return size > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

// Winsock hands out sockets that a started program inherits unless told otherwise.
void KeepFromChildren(SOCKET socket) {
    ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}

std::string DottedText(const in_addr& address) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address.s_addr);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

// The host name alone may resolve to a loopback or a virtual adapter's address first, so the
// adapters that are up are asked before it.
bool FirstAdapterAddress(in_addr& found) {
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the call that sizes it and the one that fills it.
    for (int attempt = 0; attempt < 3 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        status = ::GetAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (status != NO_ERROR) return false;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK)
            continue;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            const sockaddr* address = unicast->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET) continue;
            const in_addr candidate = reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
            if ((ntohl(candidate.s_addr) >> 24) == 127) continue;
            found = candidate;
            return true;
        }
    }
    return false;
}

bool HostNameAddress(in_addr& found) {
    // The caller may hold no socket: the name functions need the library started.
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    bool ok = false;
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* result = nullptr;
        if (::getaddrinfo(name, nullptr, &hints, &result) == 0 && result != nullptr) {
            found = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
            ok = true;
        }
        if (result != nullptr) ::freeaddrinfo(result);
    }
    ::WSACleanup();
    return ok;
}

}  // namespace

int StartNetLibrary() {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data);
}

void StopNetLibrary() {
    ::WSACleanup();
}

SocketHandle OpenTcpSocket(int& error) {
    const SOCKET handle = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                       WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    error = handle == INVALID_SOCKET ? ::WSAGetLastError() : 0;
    return handle == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(handle);
}

void CloseSocket(SocketHandle socket) {
    ::closesocket(Native(socket));
}

void ShutdownSocket(SocketHandle socket) {
    ::shutdown(Native(socket), SD_BOTH);
    // A shutdown does not end a receive that another thread is already waiting in; cancelling
    // the socket's I/O does (the receive fails, and its thread sees the end).
    ::CancelIoEx(reinterpret_cast<HANDLE>(Native(socket)), nullptr);
}

void SetNonBlocking(SocketHandle socket) {
    u_long on = 1;
    ::ioctlsocket(Native(socket), FIONBIO, &on);
}

int BindAllIPv4(SocketHandle socket, uint16_t port) {
    // No SO_REUSEADDR: on Windows it would let this socket share a port another one listens on,
    // while a plain bind already succeeds over the previous listener's lingering connections.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(Native(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return ::WSAGetLastError();
    return 0;
}

void Listen(SocketHandle socket, int backlog) {
    ::listen(Native(socket), backlog);
}

AcceptResult Accept(SocketHandle listener, bool listenerNonBlocking) {
    const SOCKET handle = ::accept(Native(listener), nullptr, nullptr);
    if (handle != INVALID_SOCKET) {
        KeepFromChildren(handle);
        // A socket accepted on a non-blocking listener is non-blocking too on Windows.
        if (listenerNonBlocking) {
            u_long off = 0;
            ::ioctlsocket(handle, FIONBIO, &off);
        }
        return {static_cast<SocketHandle>(handle), NetStatus::kOk, 0};
    }
    const int error = ::WSAGetLastError();
    // A connection reset before it was taken concerns that connection only.
    if (error == WSAEWOULDBLOCK || error == WSAEINTR || error == WSAECONNRESET)
        return {kInvalidSocket, NetStatus::kWouldBlock, error};
    return {kInvalidSocket, NetStatus::kFailed, error};
}

WaitResult WaitReadable(SocketHandle socket, std::chrono::milliseconds timeout) {
    WSAPOLLFD entry{};
    entry.fd = Native(socket);
    entry.events = POLLRDNORM;
    const auto wait = timeout.count() < 0 ? -1 : std::min<long long>(timeout.count(), INT_MAX);
    const int ready = ::WSAPoll(&entry, 1, static_cast<INT>(wait));
    if (ready > 0) return WaitResult::kReady;
    if (ready == 0) return WaitResult::kTimedOut;
    return ::WSAGetLastError() == WSAEINTR ? WaitResult::kInterrupted : WaitResult::kFailed;
}

NetResult Receive(SocketHandle socket, char* buffer, size_t capacity) {
    return ResultOf(::recv(Native(socket), buffer, ClampToInt(capacity), 0), false);
}

void SetSendTimeout(SocketHandle socket, std::chrono::milliseconds timeout) {
    const DWORD value = static_cast<DWORD>(timeout.count());
    ::setsockopt(Native(socket), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&value),
                 sizeof value);
}

NetResult Send(SocketHandle socket, const char* data, size_t size) {
    // Windows raises no signal for a peer that went away: the error comes back here.
    return ResultOf(::send(Native(socket), data, ClampToInt(size), 0), true);
}

NetResult SendGathered(SocketHandle socket, const SendPiece* pieces, size_t count) {
    if (count > kMaxSendPieces) return {NetStatus::kFailed, 0, WSAEINVAL};
    WSABUF buffers[kMaxSendPieces];
    for (size_t i = 0; i < count; ++i) {
        buffers[i].buf = const_cast<char*>(pieces[i].data);
        buffers[i].len = static_cast<ULONG>(ClampToInt(pieces[i].size));
    }
    DWORD sent = 0;
    const int result =
        ::WSASend(Native(socket), buffers, static_cast<DWORD>(count), &sent, 0, nullptr, nullptr);
    return ResultOf(result == 0 ? static_cast<int>(sent) : SOCKET_ERROR, true);
}

std::string NetErrorText(int error) {
    char buffer[512] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(error), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                         buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    // The system's texts end with a line break (and mostly a full stop) that a log line has of
    // its own.
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) text = "Winsock error " + std::to_string(error);
    return text;
}

std::string LocalIPv4Address() {
    in_addr address{};
    if (!FirstAdapterAddress(address) && !HostNameAddress(address)) return {};
    return DottedText(address);
}

}  // namespace platform

// Waiting on many sockets over WSAPoll. WSAPoll waits on sockets only, so the wake-up is a
// connected pair of loopback sockets: a byte sent into one end makes the other readable.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "platform/SocketWaiter.h"
#include "platform/WindowsError.h"

namespace platform {
namespace {

SOCKET Native(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

// Closes the handles of this layer that are still open, whatever way out a start-up takes.
struct Handles {
    SocketHandle listener = kInvalidSocket;
    SocketHandle sender = kInvalidSocket;
    SocketHandle receiver = kInvalidSocket;
    ~Handles() {
        for (const SocketHandle handle : {listener, sender, receiver})
            if (handle != kInvalidSocket) CloseSocket(handle);
    }
};

Status LastError() {
    return WindowsError(static_cast<unsigned long>(::WSAGetLastError()));
}

// The local or the remote address of a socket, as Winsock gives it.
bool AddressOf(SOCKET socket, bool peer, sockaddr_in& address) {
    int length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    return (peer ? ::getpeername(socket, raw, &length) : ::getsockname(socket, raw, &length)) == 0;
}

}  // namespace

struct SocketWaiter::State {
    SocketHandle sender = kInvalidSocket;    // Wake sends into it
    SocketHandle receiver = kInvalidSocket;  // waited on, never read
    std::vector<WSAPOLLFD> entries;          // the waiting thread's, kept between waits
};

Result<std::unique_ptr<SocketWaiter>> SocketWaiter::Create() {
    // Every handle comes from Net.h, so each holds the socket library like any other.
    Handles handles;
    const Result<SocketHandle> listener = OpenTcpSocket();
    if (!listener.IsOk()) return {listener.status};
    handles.listener = listener.value;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;  // any free port
    if (::bind(Native(handles.listener), reinterpret_cast<const sockaddr*>(&address),
               sizeof address) != 0 ||
        ::listen(Native(handles.listener), 1) != 0 ||
        !AddressOf(Native(handles.listener), false, address))
        return {LastError()};

    const Result<SocketHandle> sender = OpenTcpSocket();
    if (!sender.IsOk()) return {sender.status};
    handles.sender = sender.value;
    if (::connect(Native(handles.sender), reinterpret_cast<const sockaddr*>(&address),
                  sizeof address) != 0)
        return {LastError()};
    const Result<SocketHandle> receiver = Accept(handles.listener, false);
    if (!receiver.IsOk()) return {receiver.status};
    handles.receiver = receiver.value;

    // Another program could have connected to the listener first: the pair must be ours.
    sockaddr_in senderEnd{};
    sockaddr_in receiverPeer{};
    if (!AddressOf(Native(handles.sender), false, senderEnd) ||
        !AddressOf(Native(handles.receiver), true, receiverPeer))
        return {LastError()};
    if (senderEnd.sin_port != receiverPeer.sin_port ||
        senderEnd.sin_addr.s_addr != receiverPeer.sin_addr.s_addr)
        return {Status(ErrorKind::kFailed, 0, "wake-up pair taken by another connection")};
    // A wake-up never waits, however often it comes.
    SetNonBlocking(handles.sender);
    SetNoDelay(handles.sender);

    auto state = std::make_unique<State>();
    state->sender = handles.sender;
    state->receiver = handles.receiver;
    handles.sender = kInvalidSocket;
    handles.receiver = kInvalidSocket;
    return {Status(), std::unique_ptr<SocketWaiter>(new SocketWaiter(std::move(state)))};
}

SocketWaiter::SocketWaiter(std::unique_ptr<State> state) : m_state(std::move(state)) {}

SocketWaiter::~SocketWaiter() {
    CloseSocket(m_state->sender);
    CloseSocket(m_state->receiver);
}

void SocketWaiter::Wake() {
    // Never read: the byte stays, so every wait from now on returns at once. Should the send fail
    // (a full pair after many wakes, which leaves bytes waiting anyway), the pair's end is shut
    // down, which every wait sees too: a stop must never leave the server's wait asleep.
    const char byte = 1;
    if (!Send(m_state->sender, &byte, 1).IsOk()) ShutdownSocket(m_state->sender);
}

Status SocketWaiter::Wait(std::span<const SocketHandle> sockets, std::span<bool> ready,
                          std::chrono::milliseconds timeout) {
    std::vector<WSAPOLLFD>& entries = m_state->entries;
    entries.clear();
    entries.push_back(WSAPOLLFD{Native(m_state->receiver), POLLRDNORM, 0});
    for (const SocketHandle socket : sockets)
        entries.push_back(WSAPOLLFD{Native(socket), POLLRDNORM, 0});
    const long long limit =
        timeout.count() < 0 ? -1 : std::min<long long>(timeout.count(), INT_MAX);
    const int count =
        ::WSAPoll(entries.data(), static_cast<ULONG>(entries.size()), static_cast<INT>(limit));
    for (size_t i = 0; i < sockets.size(); ++i) ready[i] = count > 0 && entries[i + 1].revents != 0;
    if (count > 0) return Status();
    if (count == 0) return Status(ErrorKind::kTimedOut);
    return LastError();
}

}  // namespace platform

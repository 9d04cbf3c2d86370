#include "web/SocketServer.h"

#include <new>

SocketServer::SocketServer(uint32_t port, int backlog, int type)
    : Socket(), m_bNonBlocking(type == 1) {
    if (m_bNonBlocking) platform::SetNonBlocking(Handle());
    const int error = platform::BindAllIPv4(Handle(), static_cast<uint16_t>(port & 0xFFFF));
    if (error != 0) {
        // The base destructor, which runs as the exception leaves, closes the socket.
        Throw(kSocketErrorCreate, error);
    }
    platform::Listen(Handle(), backlog);
}

SocketServer::~SocketServer() = default;

bool SocketServer::WaitForClient(std::chrono::milliseconds timeout) {
    return platform::WaitReadable(Handle(), timeout) == platform::WaitResult::kReady;
}

std::unique_ptr<Socket> SocketServer::Accept() {
    m_bLastAcceptWouldBlock = false;
    // Windows leaves a listener that was shut down listening, and an accept there would wait for
    // ever: a closed listener is refused here, with no system error behind it.
    if (!IsValid()) Throw(kSocketErrorAccept, 0);
    const platform::AcceptResult accepted = platform::Accept(Handle(), m_bNonBlocking);
    if (accepted.status == platform::NetStatus::kWouldBlock) {
        m_bLastAcceptWouldBlock = true;
        return nullptr;
    }
    if (accepted.status != platform::NetStatus::kOk) Throw(kSocketErrorAccept, accepted.error);
    std::unique_ptr<Socket> client(new (std::nothrow) Socket(accepted.socket));
    if (!client) platform::CloseSocket(accepted.socket);
    return client;
}

#include "web/SocketServer.h"

#include <new>

namespace web {

platform::Result<std::unique_ptr<SocketServer>> SocketServer::Listen(uint32_t port, int backlog,
                                                                     int type) {
    const platform::Result<platform::SocketHandle> opened = platform::OpenTcpSocket();
    if (!opened.IsOk()) return {opened.status};
    // Owned from here on, so that the socket is closed on every way out.
    std::unique_ptr<SocketServer> server(new SocketServer(opened.value, type == 1));
    if (server->m_bNonBlocking) platform::SetNonBlocking(server->Handle());
    const platform::Status bound =
        platform::BindAllIPv4(server->Handle(), static_cast<uint16_t>(port & 0xFFFF));
    if (!bound.IsOk()) return {bound};
    platform::Listen(server->Handle(), backlog);
    return {platform::Status(), std::move(server)};
}

SocketServer::~SocketServer() = default;

bool SocketServer::WaitForClient(std::chrono::milliseconds timeout) {
    return platform::WaitReadable(Handle(), timeout).IsOk();
}

platform::Result<std::unique_ptr<Socket>> SocketServer::Accept() {
    // Windows leaves a listener that was shut down listening, and an accept there would wait for
    // ever: a closed listener is refused here, with no system error behind it.
    if (!IsValid()) return {platform::Status(platform::ErrorKind::kClosed)};
    const platform::Result<platform::SocketHandle> accepted =
        platform::Accept(Handle(), m_bNonBlocking);
    if (!accepted.IsOk()) return {accepted.status};
    std::unique_ptr<Socket> client(new (std::nothrow) Socket(accepted.value));
    if (!client) platform::CloseSocket(accepted.value);
    return {platform::Status(), std::move(client)};
}

}  // namespace web

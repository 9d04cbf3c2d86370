#include "web/SocketServer.h"

#include <new>

namespace web {

platform::Result<std::unique_ptr<SocketServer>> SocketServer::Listen(uint32_t port, int backlog) {
    const platform::Result<platform::SocketHandle> opened = platform::OpenTcpSocket();
    if (!opened.IsOk()) return {opened.status};
    // Owned from here on, so that the socket is closed on every way out.
    std::unique_ptr<SocketServer> server(new SocketServer(opened.value));
    platform::SetNonBlocking(server->Handle());
    const platform::Status bound =
        platform::BindAllIPv4(server->Handle(), static_cast<uint16_t>(port & 0xFFFF));
    if (!bound.IsOk()) return {bound};
    // A listener that does not listen would answer nobody, without a word.
    const platform::Status listening = platform::Listen(server->Handle(), backlog);
    if (!listening.IsOk()) return {listening};
    return {platform::Status(), std::move(server)};
}

SocketServer::~SocketServer() = default;

platform::Result<std::unique_ptr<Socket>> SocketServer::Accept() {
    // Windows leaves a listener that was shut down listening, and an accept there would wait for
    // ever: a closed listener is refused here, with no system error behind it.
    if (!IsValid()) return {platform::Status(platform::ErrorKind::kClosed)};
    const platform::Result<platform::SocketHandle> accepted = platform::Accept(Handle(), true);
    if (!accepted.IsOk()) return {accepted.status};
    std::unique_ptr<Socket> client(new (std::nothrow) Socket(accepted.value));
    if (!client) platform::CloseSocket(accepted.value);
    return {platform::Status(), std::move(client)};
}

}  // namespace web

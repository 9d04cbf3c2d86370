#include "web/SocketServer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace {

// Failures accept(2) reports for a connection that broke down before it was taken, including the
// network errors Linux passes on from the new connection. They concern that connection only, so
// the listener tries again as if nothing had been pending.
bool IsConnectionLevelAcceptError(int error) {
    switch (error) {
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
            return true;
        default:
            return false;
    }
}

}  // namespace

SocketServer::SocketServer(uint32_t port, int backlog, int type) : Socket() {
    if (type == 1) {
        int on = 1;
        ::ioctl(Handle(), FIONBIO, &on);
    }
    // A restart may bind while connections of the previous listener linger in TIME_WAIT; a port
    // that another socket listens on still refuses the bind.
    int reuse = 1;
    ::setsockopt(Handle(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port & 0xFFFF));
    if (::bind(Handle(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        // The base destructor, which runs as the exception leaves, closes the descriptor.
        Throw(kSocketErrorCreate, errno);
    }
    ::listen(Handle(), backlog);
}

SocketServer::~SocketServer() = default;

bool SocketServer::WaitForClient(std::chrono::milliseconds timeout) {
    pollfd entry{Handle(), POLLIN, 0};
    return ::poll(&entry, 1, static_cast<int>(timeout.count())) > 0;
}

std::unique_ptr<Socket> SocketServer::Accept() {
    m_bLastAcceptWouldBlock = false;
    const int handle = ::accept4(Handle(), nullptr, nullptr, SOCK_CLOEXEC);
    if (handle < 0) {
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK || IsConnectionLevelAcceptError(error)) {
            m_bLastAcceptWouldBlock = true;
            return nullptr;
        }
        Throw(kSocketErrorAccept, error);
    }
    std::unique_ptr<Socket> client(new (std::nothrow) Socket(handle));
    if (!client) ::close(handle);
    return client;
}

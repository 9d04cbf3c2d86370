#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/support/TestSocket.h"

namespace txtest {

int BindLoopback(SocketHandle socket, const std::string& address) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    int length = sizeof local;
    if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1 ||
        ::bind(socket, reinterpret_cast<const sockaddr*>(&local), length) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

bool StartConnect(SocketHandle socket, const std::string& address, int port) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<u_short>(port));
    return ::inet_pton(AF_INET, address.c_str(), &target.sin_addr) == 1 &&
           (::connect(socket, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0 ||
            ::WSAGetLastError() == WSAEWOULDBLOCK);
}

}  // namespace txtest

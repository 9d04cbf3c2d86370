#include "Listeners.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace standin {
namespace {

constexpr int kBacklog = 16;

}  // namespace

std::string EndpointName(const std::string& address, uint16_t port) {
    const bool v6 = address.find(':') != std::string::npos;
    return (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

std::string PeerName(int fd) {
    sockaddr_storage peer{};
    socklen_t length = sizeof(peer);
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return "?";
    char text[INET6_ADDRSTRLEN] = {};
    if (peer.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&peer);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof(text));
        return EndpointName(text, ntohs(v4->sin_port));
    }
    if (peer.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&peer);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof(text));
        return EndpointName(text, ntohs(v6->sin6_port));
    }
    return "?";
}

ListenResult ListenTcp(const std::string& address, uint16_t port, int* fd, std::string* error) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        length = sizeof(*v4);
    } else if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        length = sizeof(*v6);
    } else {
        *error = "not a numeric IPv4 or IPv6 address: " + address;
        return ListenResult::Failed;
    }
    const std::string where = EndpointName(address, port);
    const int s = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        const int reason = errno;
        *error = "cannot listen on " + where + ": " + std::strerror(reason);
        return reason == EAFNOSUPPORT ? ListenResult::Unavailable : ListenResult::Failed;
    }
    // Without it, a stand-in killed and started again would find its port blocked for a minute
    // by the connections of its last run in TIME_WAIT. Two live listeners still cannot share it.
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    if (storage.ss_family == AF_INET6) ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on));
    if (::bind(s, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
        ::listen(s, kBacklog) != 0) {
        const int reason = errno;
        ::close(s);
        *error = "cannot listen on " + where + ": " + std::strerror(reason);
        return reason == EADDRNOTAVAIL || reason == EAFNOSUPPORT ? ListenResult::Unavailable
                                                                 : ListenResult::Failed;
    }
    *fd = s;
    return ListenResult::Ok;
}

int ListenUnix(const std::string& path, std::string* error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        *error = "socket path too long: " + path;
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // A socket file left by an earlier run that nobody serves any more is taken over; a served
    // one means another stand-in is up.
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe >= 0) {
        const bool served =
            ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        ::close(probe);
        if (served) {
            *error = "another simulator already serves " + path;
            return -1;
        }
    }
    ::unlink(path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd, kBacklog) != 0) {
        *error = "cannot listen on " + path + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace standin

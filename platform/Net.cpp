// The socket code that reads the same on every system: the name lookups and the connect's try of
// each address the name gives. What differs stays in Net_linux.cpp and Net_win32.cpp.

#include "platform/Net.h"

#include "platform/NetSystem.h"
#include "platform/NetworkAdapters.h"

namespace platform {
namespace {

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

}  // namespace

Result<TcpConnection> ConnectTcp(const std::string& address, const std::string& port, bool ipv6,
                                 std::chrono::milliseconds timeout,
                                 const std::atomic<bool>& cancel) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // The lookup needs the library; the hold is handed on to the socket that connects.
    if (Status held = net_system::HoldLibrary(); !held.IsOk()) return {held};

    addrinfo hints{};
    hints.ai_family = ipv6 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(address.c_str(), port.c_str(), &hints, &found);
    if (lookup != 0 || found == nullptr) {
        const Status unresolved = net_system::Unresolved(lookup);
        net_system::ReleaseLibrary();
        return {unresolved};
    }

    Result<TcpConnection> result{Status(ErrorKind::kNoServer)};
    for (const addrinfo* candidate = found; candidate != nullptr; candidate = candidate->ai_next) {
        const Result<SocketHandle> opened = net_system::OpenConnecting(*candidate);
        if (!opened.IsOk()) {
            result.status = Status(ErrorKind::kNoServer, opened.status.Code());
            continue;
        }
        result.status = net_system::ConnectOne(opened.value, *candidate, deadline, cancel);
        if (!result.status.IsOk()) {
            net_system::CloseConnecting(opened.value);
            if (result.status.Kind() == ErrorKind::kCancelled) break;
            continue;
        }
        net_system::SetBlocking(opened.value);
        result.value = TcpConnection{opened.value, IsLoopback(candidate->ai_addr)};
        break;
    }
    ::freeaddrinfo(found);
    if (!result.IsOk()) net_system::ReleaseLibrary();
    return result;
}

std::string HostNameIPv4Address() {
    // The caller may hold no socket: the name functions need the library started.
    if (!net_system::HoldLibrary().IsOk()) return {};
    std::string text;
    char name[256] = {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::gethostname(name, sizeof name - 1) == 0 &&
        ::getaddrinfo(name, nullptr, &hints, &found) == 0 && found != nullptr) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
        text = DottedIPv4(ntohl(v4->sin_addr.s_addr));
    }
    if (found != nullptr) ::freeaddrinfo(found);
    net_system::ReleaseLibrary();
    return text;
}

}  // namespace platform

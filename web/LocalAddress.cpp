#include "web/LocalAddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

// The host name alone is a poor guide on Debian, which maps it to 127.0.1.1: no tablet can reach
// that, so the interfaces are asked first.
bool FirstInterfaceAddress(in_addr& found) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    bool ok = false;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        found = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
        ok = true;
        break;
    }
    ::freeifaddrs(list);
    return ok;
}

bool HostNameAddress(in_addr& found) {
    char name[1024] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &result) != 0 || result == nullptr) return false;
    found = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
    ::freeaddrinfo(result);
    return true;
}

}  // namespace

bool GetLocalIPAddress(char* out) {
    in_addr address{};
    if (!FirstInterfaceAddress(address) && !HostNameAddress(address)) return false;
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) return false;
    std::memcpy(out, text, std::strlen(text) + 1);
    return true;
}

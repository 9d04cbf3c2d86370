// The adapters on Linux: getifaddrs for the interfaces, their state and addresses; the kernel's
// routing table for the default routes; sysfs for the kind (a card has a device behind it, a
// bridge, veth, tun or WireGuard interface has none).

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/NetworkAdapters.h"
#include "platform/PosixError.h"

namespace platform {
namespace {

NetworkAdapter& AdapterNamed(std::vector<NetworkAdapter>& adapters, const std::string& name) {
    for (NetworkAdapter& adapter : adapters) {
        if (adapter.name == name) return adapter;
    }
    adapters.emplace_back();
    adapters.back().name = name;
    return adapters.back();
}

// The default routes of /proc/net/route: destination and mask 0, up. An adapter with several
// keeps the lowest metric.
void MarkDefaultRoutes(std::vector<NetworkAdapter>& adapters) {
    std::ifstream routes("/proc/net/route");
    std::string line;
    std::getline(routes, line);  // the column names
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string name;
        unsigned long destination = 0, gateway = 0, flags = 0, refs = 0, use = 0, metric = 0,
                      mask = 0;
        if (!(fields >> name >> std::hex >> destination >> gateway >> flags >> std::dec >> refs >>
              use >> metric >> std::hex >> mask))
            continue;
        if (destination != 0 || mask != 0 || (flags & RTF_UP) == 0) continue;
        for (NetworkAdapter& adapter : adapters) {
            if (adapter.name != name) continue;
            const auto value = static_cast<uint32_t>(metric);
            if (!adapter.defaultRoute || value < adapter.metric) adapter.metric = value;
            adapter.defaultRoute = true;
        }
    }
}

}  // namespace

Result<std::vector<NetworkAdapter>> ListNetworkAdapters() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return {PosixError(errno)};
    std::vector<NetworkAdapter> adapters;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_name == nullptr) continue;
        NetworkAdapter& adapter = AdapterNamed(adapters, entry->ifa_name);
        // Up with a carrier, as Windows' operational state counts it: a bridge without ports or
        // a card without a cable holds its address but reaches nobody.
        adapter.up = (entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_RUNNING) != 0;
        if ((entry->ifa_flags & IFF_LOOPBACK) != 0) {
            adapter.kind = NetworkAdapter::Kind::kLoopback;
        } else {
            const std::string device = "/sys/class/net/" + adapter.name + "/device";
            adapter.kind = ::access(device.c_str(), F_OK) == 0 ? NetworkAdapter::Kind::kPhysical
                                                               : NetworkAdapter::Kind::kVirtual;
        }
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
            const auto* v4 = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            adapter.addresses.push_back(ntohl(v4->sin_addr.s_addr));
        }
    }
    ::freeifaddrs(list);
    MarkDefaultRoutes(adapters);
    return {Status(), std::move(adapters)};
}

}  // namespace platform

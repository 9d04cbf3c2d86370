#include "web/LocalAddress.h"

#include <cstdint>
#include <limits>

#include "platform/Net.h"

namespace web {

namespace {

using platform::NetworkAdapter;

bool IsLinkLocal(uint32_t address) {
    return (address >> 16) == 0xA9FE;  // 169.254/16
}
bool IsPrivate(uint32_t address) {
    return (address >> 24) == 10 || (address >> 20) == 0xAC1 || (address >> 16) == 0xC0A8;
}

// One adapter's best address for a tablet: a private one before any other, link-local last.
// 0 when it has none that a tablet could use.
uint32_t UsableAddress(const NetworkAdapter& adapter, bool linkLocalToo) {
    if (!adapter.up || adapter.kind == NetworkAdapter::Kind::kLoopback) return 0;
    uint32_t best = 0;
    int bestRank = 0;
    for (const uint32_t address : adapter.addresses) {
        if (address == 0) continue;
        const int rank = IsLinkLocal(address) ? (linkLocalToo ? 1 : 0) : IsPrivate(address) ? 3 : 2;
        if (rank > bestRank) {
            best = address;
            bestRank = rank;
        }
    }
    return best;
}

// The address of the adapter that holds a default route with the lowest metric, among those
// `wanted` admits; 0 when none does.
template <typename Wanted>
uint32_t ByDefaultRoute(const std::vector<NetworkAdapter>& adapters, Wanted wanted) {
    uint32_t found = 0;
    uint32_t metric = std::numeric_limits<uint32_t>::max();
    for (const NetworkAdapter& adapter : adapters) {
        const uint32_t address = UsableAddress(adapter, false);
        if (address == 0 || !adapter.defaultRoute || !wanted(adapter)) continue;
        if (found == 0 || adapter.metric < metric) {
            found = address;
            metric = adapter.metric;
        }
    }
    return found;
}

const char* KindName(NetworkAdapter::Kind kind) {
    switch (kind) {
        case NetworkAdapter::Kind::kPhysical:
            return "card";
        case NetworkAdapter::Kind::kLoopback:
            return "loopback";
        default:
            return "virtual";
    }
}

}  // namespace

std::string ChooseTabletAddress(const std::vector<NetworkAdapter>& adapters) {
    const auto isCard = [](const NetworkAdapter& a) {
        return a.kind == NetworkAdapter::Kind::kPhysical;
    };
    uint32_t chosen = ByDefaultRoute(adapters, isCard);
    for (const NetworkAdapter& adapter : adapters) {
        if (chosen != 0) break;
        const uint32_t address = UsableAddress(adapter, false);
        if (isCard(adapter) && IsPrivate(address)) chosen = address;
    }
    if (chosen == 0) chosen = ByDefaultRoute(adapters, [](const NetworkAdapter&) { return true; });
    for (const bool linkLocalToo : {false, true}) {
        for (const NetworkAdapter& adapter : adapters) {
            if (chosen == 0) chosen = UsableAddress(adapter, linkLocalToo);
        }
    }
    return chosen == 0 ? std::string() : platform::DottedIPv4(chosen);
}

std::string DescribeAdapters(const std::vector<NetworkAdapter>& adapters) {
    std::string line;
    for (const NetworkAdapter& adapter : adapters) {
        if (!line.empty()) line += "; ";
        line += adapter.name + " (" + KindName(adapter.kind) + (adapter.up ? ", up" : ", down");
        for (const uint32_t address : adapter.addresses)
            line += ", " + platform::DottedIPv4(address);
        if (adapter.defaultRoute)
            line += ", default route metric " + std::to_string(adapter.metric);
        line += ")";
    }
    return line.empty() ? "none" : line;
}

platform::Result<std::string> GetLocalIPAddress() {
    const platform::Result<std::vector<NetworkAdapter>> adapters = platform::ListNetworkAdapters();
    std::string address = adapters.IsOk() ? ChooseTabletAddress(adapters.value) : "";
    if (address.empty()) address = platform::HostNameIPv4Address();
    if (address.empty()) return {platform::Status(platform::ErrorKind::kFailed, 0, "no address")};
    return {platform::Status(), address};
}

}  // namespace web

#pragma once
// The machine's network adapters as the address shown to tablets is chosen from: each with its
// kind, its state, its IPv4 addresses and whether it holds a default route. Only the listing is
// per system: on Linux getifaddrs, the kernel's routes (/proc/net/route) and sysfs for the kind
// (NetworkAdapters_linux.cpp); on Windows GetAdaptersAddresses with gateways and metrics
// (NetworkAdapters_win32.cpp). The choice itself is web::ChooseTabletAddress, the same on both.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Status.h"

namespace platform {

struct NetworkAdapter {
    enum class Kind {
        kPhysical,  // a wired or wireless card
        kVirtual,   // a bridge, veth, tunnel, VPN or virtual switch (WSL, Hyper-V, VirtualBox...)
        kLoopback,
    };
    std::string name;
    Kind kind = Kind::kVirtual;
    bool up = false;
    // IPv4 addresses in host byte order, as the system lists them.
    std::vector<uint32_t> addresses;
    bool defaultRoute = false;
    // The default route's metric (lower is preferred); meaningful with defaultRoute only.
    uint32_t metric = 0;
};

// The adapters in the order the system lists them.
Result<std::vector<NetworkAdapter>> ListNetworkAdapters();

// The kind of a Windows adapter from its interface type (IF_TYPE_*) and its description and name:
// Ethernet and Wi-Fi are cards unless the words say otherwise, as those of WSL's and Hyper-V's
// "vEthernet", VirtualBox's and VMware's host-only adapters and VPN clients' adapters do, all
// typed as Ethernet. Shared so that both systems' tests can read the rule.
NetworkAdapter::Kind WindowsAdapterKind(unsigned long ifType, const std::string& description,
                                        const std::string& name);

// "a.b.c.d" of an address in host byte order.
std::string DottedIPv4(uint32_t address);
// The address in host byte order of a dotted-decimal text of exactly four numbers 0..255; false
// for anything else.
bool ParseDottedIPv4(const std::string& text, uint32_t& address);

}  // namespace platform

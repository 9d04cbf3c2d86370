// What both systems share of the adapter listing: the kind of a Windows adapter by its words, and
// the dotted-decimal text of an address, both ways.

#include "platform/NetworkAdapters.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace platform {

namespace {

constexpr unsigned long kIfTypeEthernet = 6;   // IF_TYPE_ETHERNET_CSMACD
constexpr unsigned long kIfTypeLoopback = 24;  // IF_TYPE_SOFTWARE_LOOPBACK
constexpr unsigned long kIfTypeWireless = 71;  // IF_TYPE_IEEE80211

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

NetworkAdapter::Kind WindowsAdapterKind(unsigned long ifType, const std::string& description,
                                        const std::string& name) {
    if (ifType == kIfTypeLoopback) return NetworkAdapter::Kind::kLoopback;
    if (ifType != kIfTypeEthernet && ifType != kIfTypeWireless)
        return NetworkAdapter::Kind::kVirtual;
    const std::string words = Lowered(description + " | " + name);
    for (const char* word : {"virtual", "vethernet", "hyper-v", "vmware", "virtualbox", "tap-",
                             "tap adapter", "tunnel", "vpn", "wireguard", "wintun", "loopback"}) {
        if (words.find(word) != std::string::npos) return NetworkAdapter::Kind::kVirtual;
    }
    return NetworkAdapter::Kind::kPhysical;
}

std::string DottedIPv4(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", (address >> 24) & 0xFFu,
                  (address >> 16) & 0xFFu, (address >> 8) & 0xFFu, address & 0xFFu);
    return text;
}

bool ParseDottedIPv4(const std::string& text, uint32_t& address) {
    uint32_t value = 0;
    int parts = 0;
    size_t at = 0;
    while (parts < 4) {
        size_t digits = 0;
        uint32_t part = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3) {
            part = part * 10 + static_cast<uint32_t>(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || part > 255) return false;
        value = (value << 8) | part;
        if (++parts < 4) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
    }
    if (at != text.size()) return false;
    address = value;
    return true;
}

}  // namespace platform

// The adapters on Windows: GetAdaptersAddresses with their gateways and metrics. An adapter holds
// a default route when it has an IPv4 gateway; its metric is the interface's IPv4 metric.

#include <winsock2.h>
#include <ws2tcpip.h>
// The adapter list's types come from Winsock 2.
#include <iphlpapi.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/NetworkAdapters.h"
#include "platform/Utf16_win32.h"
#include "platform/WindowsError.h"

namespace platform {

Result<std::vector<NetworkAdapter>> ListNetworkAdapters() {
    const ULONG flags = GAA_FLAG_INCLUDE_GATEWAYS | GAA_FLAG_SKIP_ANYCAST |
                        GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the call that sizes it and the one that fills it.
    for (int attempt = 0; attempt < 3 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        status = ::GetAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (status == ERROR_NO_DATA) return {Status(), {}};
    if (status != NO_ERROR) return {WindowsError(status)};

    std::vector<NetworkAdapter> adapters;
    for (auto* entry = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); entry != nullptr;
         entry = entry->Next) {
        NetworkAdapter adapter;
        adapter.name =
            entry->FriendlyName != nullptr ? Utf8FromWide(std::wstring(entry->FriendlyName)) : "";
        const std::string description =
            entry->Description != nullptr ? Utf8FromWide(std::wstring(entry->Description)) : "";
        adapter.kind = WindowsAdapterKind(entry->IfType, description, adapter.name);
        adapter.up = entry->OperStatus == IfOperStatusUp;
        for (auto* unicast = entry->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            const sockaddr* address = unicast->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET) continue;
            adapter.addresses.push_back(
                ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr));
        }
        for (auto* gateway = entry->FirstGatewayAddress; gateway != nullptr;
             gateway = gateway->Next) {
            const sockaddr* address = gateway->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET) continue;
            if (reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr == 0) continue;
            adapter.defaultRoute = true;
        }
        adapter.metric = entry->Ipv4Metric;
        adapters.push_back(std::move(adapter));
    }
    return {Status(), std::move(adapters)};
}

}  // namespace platform

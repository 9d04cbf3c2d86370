#pragma once
// The address under which a tablet on the local network reaches this machine: the one the window
// shows, the log names and the browser opens. A machine often has adapters no tablet can reach
// (WSL's and Hyper-V's vEthernet, VirtualBox's and VMware's host-only adapters, Docker's bridge,
// a VPN's tunnel, a cable left unplugged), so the choice weighs each adapter's kind and routes
// rather than taking the first address found.

#include <string>
#include <vector>

#include "platform/NetworkAdapters.h"

namespace web {

// The address to show, from `adapters` in the order the system lists them. Candidates: adapters
// that are up, with an IPv4 address that is neither loopback nor link-local (169.254/16 only when
// nothing else exists). In order of preference: a card that holds a default route, lowest metric
// first; a card with a private-range address (10/8, 172.16/12, 192.168/16); any other adapter
// that holds a default route, lowest metric first (a full-tunnel VPN never beats the LAN card:
// tablets are on the LAN); the first address listed. Empty when no adapter has one.
std::string ChooseTabletAddress(const std::vector<platform::NetworkAdapter>& adapters);

// One line naming each adapter with its kind, state, addresses and default route, so that a user
// asking for help can show why an address was chosen.
std::string DescribeAdapters(const std::vector<platform::NetworkAdapter>& adapters);

// The dotted-decimal IPv4 text of the address to show: ChooseTabletAddress over the system's
// adapters, else the address the host name resolves to; kFailed when neither is found.
platform::Result<std::string> GetLocalIPAddress();

}  // namespace web

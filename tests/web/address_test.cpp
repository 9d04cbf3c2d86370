// The address shown to tablets: the choice among the machine's adapters, by a table of the
// machines users fly on, and the label that follows the network while the server runs.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/Log.h"
#include "platform/NetworkAdapters.h"
#include "tests/support/FakeServerHost.h"
#include "tests/support/TestSupport.h"
#include "web/LocalAddress.h"
#include "web/WebServer.h"

namespace {

using platform::NetworkAdapter;
using Kind = platform::NetworkAdapter::Kind;

uint32_t Ip(const char* text) {
    uint32_t address = 0;
    EXPECT_TRUE(platform::ParseDottedIPv4(text, address)) << text;
    return address;
}

// An adapter that is up; `metric` < 0: no default route.
NetworkAdapter Up(const char* name, Kind kind, std::vector<const char*> addresses,
                  int metric = -1) {
    NetworkAdapter adapter;
    adapter.name = name;
    adapter.kind = kind;
    adapter.up = true;
    for (const char* address : addresses) adapter.addresses.push_back(Ip(address));
    adapter.defaultRoute = metric >= 0;
    adapter.metric = metric >= 0 ? static_cast<uint32_t>(metric) : 0;
    return adapter;
}

NetworkAdapter Down(NetworkAdapter adapter) {
    adapter.up = false;
    return adapter;
}

const NetworkAdapter kLoopback = Up("lo", Kind::kLoopback, {"127.0.0.1"});
const NetworkAdapter kLan = Up("Ethernet", Kind::kPhysical, {"192.168.1.20"}, 25);

TEST(TabletAddressTest, TheLanCardWinsOverEveryAdapterNoTabletReaches) {
    struct Case {
        const char* what;
        std::vector<NetworkAdapter> adapters;
        const char* shown;
    };
    const Case cases[] = {
        {"WSL's vEthernet listed first",
         {Up("vEthernet (WSL)", Kind::kVirtual, {"172.28.16.1"}), kLan},
         "192.168.1.20"},
        {"a host-only adapter",
         {Up("VirtualBox Host-Only", Kind::kVirtual, {"192.168.56.1"}),
          Up("Wi-Fi", Kind::kPhysical, {"192.168.0.14"}, 35)},
         "192.168.0.14"},
        {"a full-tunnel VPN with a lower metric",
         {Up("VPN", Kind::kVirtual, {"10.8.0.2"}, 1), kLan},
         "192.168.1.20"},
        {"two cards with default routes",
         {Up("Wi-Fi", Kind::kPhysical, {"192.168.0.14"}, 35), kLan},
         "192.168.1.20"},
        {"a card without a route, a private address, beside a tunnel with one",
         {Up("tun0", Kind::kVirtual, {"100.64.1.2"}, 5), Up("eth0", Kind::kPhysical, {"10.0.0.7"})},
         "10.0.0.7"},
        {"a card with a public address holding the route",
         {Up("eth1", Kind::kPhysical, {"10.0.0.7"}),
          Up("eth0", Kind::kPhysical, {"203.0.113.9"}, 0)},
         "203.0.113.9"},
        {"a card's private address before its public one",
         {Up("eth0", Kind::kPhysical, {"203.0.113.9", "192.168.1.21"})},
         "192.168.1.21"},
        {"a link-local cable",
         {Up("Ethernet 2", Kind::kPhysical, {"169.254.12.7"}), kLan},
         "192.168.1.20"},
        {"only a link-local cable",
         {kLoopback, Up("Ethernet 2", Kind::kPhysical, {"169.254.12.7"})},
         "169.254.12.7"},
        {"a bridge and a veth pair, as in a container host",
         {kLoopback, Up("br0", Kind::kVirtual, {"172.17.0.1"}),
          Up("lan0", Kind::kVirtual, {"192.168.77.5"}, 0)},
         "192.168.77.5"},
        {"nothing but virtual adapters without routes: the first address",
         {Up("br0", Kind::kVirtual, {"172.17.0.1"}), Up("br1", Kind::kVirtual, {"172.18.0.1"})},
         "172.17.0.1"},
        {"a card that is down",
         {Down(kLan), Up("br0", Kind::kVirtual, {"172.17.0.1"})},
         "172.17.0.1"},
        {"no adapter at all", {}, ""},
        {"only the loopback", {kLoopback}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(web::ChooseTabletAddress(c.adapters), c.shown) << c.what;

    EXPECT_EQ(
        web::DescribeAdapters({kLoopback, kLan, Down(Up("br0", Kind::kVirtual, {}))}),
        "lo (loopback, up, 127.0.0.1); Ethernet (card, up, 192.168.1.20, default route metric "
        "25); br0 (virtual, down)");
    EXPECT_EQ(web::DescribeAdapters({}), "none");
}

TEST(TabletAddressTest, WindowsAdaptersTypedAsEthernetAreVirtualByTheirWords) {
    struct Case {
        unsigned long type;
        const char* description;
        const char* name;
        Kind kind;
    };
    const Case cases[] = {
        {6, "Intel(R) Ethernet Connection (7) I219-V", "Ethernet", Kind::kPhysical},
        {71, "Intel(R) Wi-Fi 6 AX201 160MHz", "Wi-Fi", Kind::kPhysical},
        {6, "Hyper-V Virtual Ethernet Adapter", "vEthernet (WSL)", Kind::kVirtual},
        {6, "Hyper-V Virtual Ethernet Adapter #2", "vEthernet (Default Switch)", Kind::kVirtual},
        {6, "VirtualBox Host-Only Ethernet Adapter", "Ethernet 3", Kind::kVirtual},
        {6, "VMware Virtual Ethernet Adapter for VMnet8", "VMware Network Adapter VMnet8",
         Kind::kVirtual},
        {6, "TAP-Windows Adapter V9", "Ethernet 4", Kind::kVirtual},
        {6, "WireGuard Tunnel", "wg0", Kind::kVirtual},
        {23, "WAN Miniport (PPPOE)", "Broadband", Kind::kVirtual},
        {24, "Software Loopback Interface 1", "Loopback Pseudo-Interface 1", Kind::kLoopback},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::WindowsAdapterKind(c.type, c.description, c.name), c.kind) << c.name;

    uint32_t address = 1;
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.4 ", "a.b.c.d", "1..2.3",
                            "1234.1.1.1", "host.example"})
        EXPECT_FALSE(platform::ParseDottedIPv4(bad, address)) << bad;
    EXPECT_EQ(address, 1u);
    EXPECT_EQ(platform::DottedIPv4(Ip("10.0.255.1")), "10.0.255.1");
}

// The label and the log follow the network while the server runs: a new line and label only
// when the address changes; an address set in the INI wins over every adapter.
TEST(TabletAddressTest, TheLabelFollowsTheNetworkAndASettingWins) {
    txtest::Sandbox sandbox;
    sandbox.Apply();
    sandbox.CreateSettingsFolder();
    ASSERT_TRUE(logging::LogFile.Open(sandbox.LogPath()));
    txtest::FakeServerHost host;
    const int port = txtest::FreeTcpPort();
    std::vector<NetworkAdapter> adapters = {Up("br0", Kind::kVirtual, {"172.17.0.1"}), kLan};
    {
        web::WebServer server(static_cast<uint32_t>(port), nullptr, host, false);
        server.m_fnListAdapters = [&adapters] {
            return platform::Result<std::vector<NetworkAdapter>>{{}, adapters};
        };
        server.FollowAddress();  // before the start: nothing shown yet
        server.StartWebServerThread();
        server.FollowAddress();
        adapters[1] = Up("Ethernet", Kind::kPhysical, {"192.168.1.77"}, 25);
        server.FollowAddress();
        server.FollowAddress();
        EXPECT_EQ(server.ShownAddress(), "192.168.1.77");
        server.SetAddressSetting("not-an-address");
        server.FollowAddress();
        server.SetAddressSetting("192.168.1.5");
        server.FollowAddress();
        server.StopWebServerThread(true);
    }
    const std::string p = ":" + std::to_string(port);
    EXPECT_EQ(host.Calls(),
              (std::vector<std::string>{"label 192.168.1.20" + p, "label 192.168.1.77" + p,
                                        "label 192.168.1.5" + p}));
    const std::string log = txtest::ReadLog(sandbox.LogPath());
    EXPECT_EQ(txtest::CountLines(log, "]: Webbrowser IP: "), 3);
    EXPECT_EQ(txtest::CountLines(log,
                                 "]: Network adapters: br0 (virtual, up, 172.17.0.1); "
                                 "Ethernet (card, up, 192.168.1.20, default route metric 25)."),
              1);
    EXPECT_EQ(txtest::CountLines(log, "WebbrowserIP=not-an-address is not an IPv4 address"), 1);
    logging::LogFile.Close();
}

}  // namespace

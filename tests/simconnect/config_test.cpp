// SimConnect.cfg: which section counts, each key's accepted values, what a bad value falls back
// to, and where the file is looked for.

#include <gtest/gtest.h>

#include "simconnect/ConfigFile.h"
#include "simconnect/Protocol.h"
#include "tests/support/SystemFacts.h"
#include "tests/support/TestSupport.h"

namespace {

using Kind = platform::StreamTarget::Kind;

TEST(SimConnectConfigTest, WithoutASectionForTheIndexTheSimulatorOnThisMachineIsUsed) {
    const txtest::SimulatorDefault expected = txtest::DefaultSimulator();
    for (const std::string text : {"", "[Other]\nPort=1\n", "[SimConnect.1]\nPort=4000\n"}) {
        SCOPED_TRACE(text);
        const simconnect::Config config = simconnect::ParseConfig(text, 0);
        EXPECT_EQ(config.target.kind, expected.kind);
        EXPECT_EQ(config.target.address, expected.address);
        EXPECT_EQ(config.target.port, expected.port);
        EXPECT_EQ(simconnect::DescribeTarget(config.target), expected.description);
        EXPECT_FALSE(config.target.disableNagle);
        EXPECT_EQ(config.protocol, simconnect::kProtocolSp2);
        EXPECT_EQ(config.maxReceiveSize, 65536u);
        EXPECT_TRUE(config.problems.empty());
    }
}

TEST(SimConnectConfigTest, TheIndexChoosesItsSectionAndNamesIgnoreCase) {
    const std::string text =
        "; the simulator PC\n"
        "[SimConnect]\nProtocol=IPv4\nAddress=192.0.2.1\nPort=500\n"
        "[simconnect.0]\n protocol = ipv6 \n ADDRESS = fe80::1 \nport=\"41088\"\n"
        "[SimConnect.2]\nAddress=simpc\n"
        "[SimConnect.0]\nPort=1\n";
    const simconnect::Config zero = simconnect::ParseConfig(text, 0);
    EXPECT_EQ(zero.target.kind, Kind::IPv6) << "[SimConnect.0] before [SimConnect]";
    EXPECT_EQ(zero.target.address, "fe80::1");
    EXPECT_EQ(zero.target.port, "41088") << "the first section of a name counts";
    const txtest::SimulatorDefault system = txtest::DefaultSimulator();
    const simconnect::Config two = simconnect::ParseConfig(text, 2);
    EXPECT_EQ(two.target.address, "simpc");
    EXPECT_EQ(two.target.port, system.port);
    const simconnect::Config plain = simconnect::ParseConfig("[SimConnect]\nPort=600\n", 0);
    EXPECT_EQ(plain.target.port, "600");
    EXPECT_EQ(plain.target.kind, system.kind) << "a section without Protocol keeps the default's";
    EXPECT_EQ(simconnect::ParseConfig("[SimConnect]\nPort=600\n", 1).target.port, system.port)
        << "[SimConnect] stands for index 0 only";
}

TEST(SimConnectConfigTest, EachKeyTakesItsValues) {
    auto parse = [](const std::string& lines) {
        return simconnect::ParseConfig("[SimConnect]\n" + lines, 0);
    };
    EXPECT_EQ(parse("Protocol=IPv6\n").target.address, "::1") << "the kind's own default";
    EXPECT_EQ(parse("Protocol=IPv6\n").target.port, "2048");
    const simconnect::Config pipe = parse("Protocol=Pipe\n");
    EXPECT_EQ(pipe.target.kind, Kind::Pipe);
    EXPECT_EQ(simconnect::DescribeTarget(pipe.target),
              "\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect");
    EXPECT_EQ(simconnect::DescribeTarget(parse("Protocol=Pipe\nPort=Custom/SimConnect\n").target),
              "\\\\.\\pipe\\Custom/SimConnect");
    EXPECT_EQ(simconnect::DescribeTarget(parse("Protocol=IPv6\nPort=9\n").target), "[::1]:9");
    EXPECT_EQ(
        simconnect::DescribeTarget(parse("Protocol=IPv4\nAddress=10.0.0.5\nPort=65535\n").target),
        "10.0.0.5:65535");
    EXPECT_TRUE(parse("DisableNagle=True\n").target.disableNagle);
    EXPECT_TRUE(parse("DisableNagle=1\n").target.disableNagle);
    EXPECT_FALSE(parse("DisableNagle=false\n").target.disableNagle);
    EXPECT_EQ(parse("MaxReceiveSize=1000000\n").maxReceiveSize, 1000000u);
    EXPECT_EQ(parse("MaxReceiveSize=4096\n").maxReceiveSize, 65536u) << "never below 64 KiB";
    EXPECT_EQ(parse("ClientVersion=RTM\n").protocol, simconnect::kProtocolRtm);
    EXPECT_EQ(parse("ClientVersion=3\n").protocol, simconnect::kProtocolSp1);
    EXPECT_EQ(parse("ClientVersion=sp2\n").protocol, simconnect::kProtocolSp2);
    EXPECT_EQ(parse("Address=\n").target.address, txtest::DefaultSimulator().address)
        << "an empty value is no value";
}

TEST(SimConnectConfigTest, ABadValueIsNamedOnceAndReplacedByItsDefault) {
    const simconnect::Config config = simconnect::ParseConfig(
        "[SimConnect]\nProtocol=IPX\nPort=0\nMaxReceiveSize=lots\nDisableNagle=maybe\n"
        "ClientVersion=SP3\nAddress=simpc\n",
        0);
    EXPECT_EQ(config.target.kind, Kind::IPv4);
    EXPECT_EQ(config.target.address, "simpc") << "the good values stay";
    EXPECT_EQ(config.target.port, "2048");
    EXPECT_EQ(config.maxReceiveSize, 65536u);
    EXPECT_FALSE(config.target.disableNagle);
    EXPECT_EQ(config.protocol, simconnect::kProtocolSp2);
    const std::vector<std::string> expected = {
        "SimConnect.cfg: Protocol=IPX in [SimConnect] is not IPv4, IPv6 or Pipe; IPv4 is used.",
        "SimConnect.cfg: Port=0 in [SimConnect] is not a port number (1 to 65535); 2048 is used.",
        "SimConnect.cfg: MaxReceiveSize=lots in [SimConnect] is not a number up to 16777216; "
        "65536 is used.",
        "SimConnect.cfg: DisableNagle=maybe in [SimConnect] is not True or False; False is used.",
        "SimConnect.cfg: ClientVersion=SP3 in [SimConnect] is not RTM, SP1 or SP2; SP2 is used."};
    EXPECT_EQ(config.problems, expected);
    for (const std::string port : {"65536", "-1", "99999999999", "20 48", "0x800"})
        EXPECT_EQ(simconnect::ParseConfig("[SimConnect]\nProtocol=IPv4\nPort=" + port + "\n", 0)
                      .problems.size(),
                  1u)
            << port;
    EXPECT_EQ(simconnect::ParseConfig("[SimConnect]\nMaxReceiveSize=16777217\n", 0).problems.size(),
              1u);
}

TEST(SimConnectConfigTest, TheSettingsFolderIsLookedInFirst) {
    txtest::Sandbox sandbox;
    sandbox.Apply();
    EXPECT_EQ(simconnect::LoadConfig(0).file, "") << "no file anywhere: the defaults";
    sandbox.CreateSettingsFolder();
    txtest::WriteFile(sandbox.settings() + "SimConnect.cfg", "[SimConnect]\nPort=3100\n");
    const simconnect::Config config = simconnect::LoadConfig(0);
    EXPECT_EQ(config.file, sandbox.settings() + "SimConnect.cfg");
    EXPECT_EQ(config.target.port, "3100");
}

}  // namespace

// SimConnect.cfg: which section counts, each key's accepted values and what a bad value falls
// back to. That the file is read from the settings folder the library suite shows: its simulator
// is found only there.

#include <gtest/gtest.h>

#include "simconnect/ConfigFile.h"
#include "simconnect/Protocol.h"
#include "tests/support/SystemFacts.h"

namespace {

simconnect::Config Parse(const std::string& lines) {
    return simconnect::ParseConfig("[SimConnect]\n" + lines, 0);
}

std::string Target(const std::string& text, uint32_t index = 0) {
    return simconnect::DescribeTarget(simconnect::ParseConfig(text, index).target);
}

TEST(SimConnectConfigTest, TheIndexChoosesItsSectionAndNamesIgnoreCase) {
    // Without a section for the index, the simulator on this machine, with every default.
    const std::string system = txtest::DefaultSimulator().description;
    for (const std::string text : {"", "[Other]\nPort=1\n", "[SimConnect.1]\nPort=4000\n"}) {
        const simconnect::Config config = simconnect::ParseConfig(text, 0);
        EXPECT_EQ(simconnect::DescribeTarget(config.target), system) << text;
        EXPECT_EQ(config.protocol, simconnect::kProtocolSp2);
        EXPECT_EQ(config.maxReceiveSize, 65536u);
        EXPECT_TRUE(config.problems.empty());
    }
    const std::string text =
        "; the simulator PC\n"
        "[SimConnect]\nProtocol=IPv4\nAddress=192.0.2.1\nPort=500\n"
        "[simconnect.0]\n protocol = ipv6 \n ADDRESS = fe80::1 \nport=\"41088\"\n"
        "[SimConnect.2]\nAddress=simpc\n"
        "[SimConnect.0]\nPort=1\n";
    EXPECT_EQ(Target(text), "[fe80::1]:41088") << "the first [SimConnect.0], before [SimConnect]";
    EXPECT_EQ(simconnect::ParseConfig(text, 2).target.address, "simpc");
    EXPECT_EQ(simconnect::ParseConfig(text, 2).target.port, txtest::DefaultSimulator().port);
    EXPECT_EQ(Target("[SimConnect]\nPort=600\n", 1), system) << "[SimConnect] is index 0 only";
}

TEST(SimConnectConfigTest, EachKeyTakesItsValuesAndABadOneIsNamedOnceAndReplacedByItsDefault) {
    // A kind named without an address or port starts from that kind's own defaults, whatever
    // this system's default kind is.
    const std::vector<std::pair<std::string, std::string>> targets = {
        {"Protocol=IPv4\n", "127.0.0.1:2048"},
        {"Protocol=IPv6\n", "[::1]:2048"},
        {"Protocol=Pipe\n", "\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect"},
        {"Protocol=Pipe\nPort=Custom/SimConnect\n", "\\\\.\\pipe\\Custom/SimConnect"},
        {"Protocol=IPv4\nAddress=10.0.0.5\nPort=65535\n", "10.0.0.5:65535"},
        {"Address=\n", txtest::DefaultSimulator().description},  // an empty value is no value
    };
    for (const auto& [lines, description] : targets)
        EXPECT_EQ(Target("[SimConnect]\n" + lines), description) << lines;
    EXPECT_TRUE(Parse("DisableNagle=True\n").target.disableNagle);
    EXPECT_TRUE(Parse("DisableNagle=1\n").target.disableNagle);
    EXPECT_FALSE(Parse("DisableNagle=false\n").target.disableNagle);
    EXPECT_EQ(Parse("MaxReceiveSize=1000000\n").maxReceiveSize, 1000000u);
    EXPECT_EQ(Parse("MaxReceiveSize=4096\n").maxReceiveSize, 65536u) << "never below 64 KiB";
    EXPECT_EQ(Parse("ClientVersion=RTM\n").protocol, simconnect::kProtocolRtm);
    EXPECT_EQ(Parse("ClientVersion=SP1\n").protocol, simconnect::kProtocolSp1);
    EXPECT_EQ(Parse("ClientVersion=3\n").protocol, simconnect::kProtocolSp1);

    // A bad value is named once and replaced by its default.
    const simconnect::Config config = Parse(
        "Protocol=IPX\nPort=0\nMaxReceiveSize=lots\nDisableNagle=maybe\nClientVersion=SP3\n"
        "Address=simpc\n");
    EXPECT_EQ(simconnect::DescribeTarget(config.target), "simpc:2048") << "the good values stay";
    EXPECT_EQ(config.protocol, simconnect::kProtocolSp2);
    const std::vector<std::string> expected = {
        "SimConnect.cfg: Protocol=IPX in [SimConnect] is not IPv4, IPv6 or Pipe; IPv4 is used.",
        "SimConnect.cfg: Port=0 in [SimConnect] is not a port number (1 to 65535); 2048 is used.",
        "SimConnect.cfg: MaxReceiveSize=lots in [SimConnect] is not a number up to 16777216; "
        "65536 is used.",
        "SimConnect.cfg: DisableNagle=maybe in [SimConnect] is not True or False; False is used.",
        "SimConnect.cfg: ClientVersion=SP3 in [SimConnect] is not RTM, SP1 or SP2; SP2 is used."};
    EXPECT_EQ(config.problems, expected);
    for (const std::string bad : {"Port=65536", "Port=-1", "Port=99999999999", "Port=20 48",
                                  "Port=0x800", "MaxReceiveSize=16777217"})
        EXPECT_EQ(Parse("Protocol=IPv4\n" + bad + "\n").problems.size(), 1u) << bad;
}

}  // namespace

#include "tests/support/SimStandin.h"

#include <cstdlib>

#include "tests/support/TcpClient.h"

namespace txtest {

std::string SimConnectConfigText(int port) {
    const char* protocol = std::getenv("TX_TEST_SIM_PROTOCOL");
    const bool ipv6 = protocol != nullptr && std::string(protocol) == "IPv6";
    return std::string("[SimConnect]\nProtocol=") +
           (ipv6 ? "IPv6\nAddress=::1" : "IPv4\nAddress=127.0.0.1") +
           "\nPort=" + std::to_string(port) + "\n";
}

void WriteSimConnectConfig(const Sandbox& sandbox, int port) {
    sandbox.CreateSettingsFolder();
    WriteFile(sandbox.settings() + "SimConnect.cfg", SimConnectConfigText(port));
}

bool SimStandin::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return Output().find(text) != std::string::npos; }, timeout);
}

bool SimStandin::Start(const std::vector<std::string>& args) {
    WriteSimConnectConfig(m_sandbox, m_port);
    std::vector<std::string> all = {"--port", std::to_string(m_port)};
    all.insert(all.end(), args.begin(), args.end());
    if (!m_process.Start(BinaryPath("sim-standin"), all, m_sandbox.Env())) return false;
    // Its IPv4 loopback port is served whatever the protocol: taking connections, it is ready.
    TcpClient probe;
    return WaitUntil([&] { return !m_process.Running() || probe.Connect(m_port); },
                     std::chrono::seconds(10)) &&
           m_process.Running();
}

}  // namespace txtest

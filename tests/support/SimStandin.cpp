#include "tests/support/SimStandin.h"

#include <cstdlib>

#include "tests/support/TcpClient.h"

namespace txtest {

void WriteSimConnectConfig(const Sandbox& sandbox, int port) {
    const char* protocol = std::getenv("TX_TEST_SIM_PROTOCOL");
    const bool ipv6 = protocol != nullptr && std::string(protocol) == "IPv6";
    sandbox.CreateSettingsFolder();
    WriteFile(sandbox.settings() + "SimConnect.cfg",
              std::string("[SimConnect]\nProtocol=") +
                  (ipv6 ? "IPv6\nAddress=::1" : "IPv4\nAddress=127.0.0.1") +
                  "\nPort=" + std::to_string(port) + "\n");
}

bool SimStandin::Start() {
    WriteSimConnectConfig(m_sandbox, m_port);
    if (!m_process.Start(BinaryPath("sim-standin"), {"--port", std::to_string(m_port)},
                         m_sandbox.Env()))
        return false;
    // Its IPv4 loopback port is served whatever the protocol: taking connections, it is ready.
    TcpClient probe;
    return WaitUntil([&] { return !m_process.Running() || probe.Connect(m_port); },
                     std::chrono::seconds(10)) &&
           m_process.Running();
}

}  // namespace txtest

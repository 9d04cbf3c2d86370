#include "tests/support/SimStandin.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>

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

bool SimStandin::Start() {
    if (m_port != 0) return StartOn(m_port);
    // A port found free may be taken by another test before the stand-in binds it: then another.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (StartOn(FreeTcpPort())) return true;
        if (m_process.Stderr().find("Address already in use") == std::string::npos) return false;
    }
    return false;
}

bool SimStandin::StartOn(int port) {
    WriteSimConnectConfig(m_sandbox, port);
    if (!m_process.Start(BinaryPath("sim-standin"), {"--port", std::to_string(port)},
                         m_sandbox.Env()))
        return false;
    return WaitUntil(
               [this] { return !m_process.Running() || Command("status").rfind("ok", 0) == 0; },
               std::chrono::seconds(10)) &&
           m_process.Running();
}

std::string SimStandin::Command(const std::string& line) {
    const std::string path = m_sandbox.runtime() + "/sim-standin.ctl", request = line + "\n";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) return "";
    path.copy(address.sun_path, path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // A stand-in that stops answering ends the reply within 5 s.
    const timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    std::string reply;
    char c;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size()))
        while (::recv(fd, &c, 1, 0) == 1 && c != '\n') reply.push_back(c);
    ::close(fd);
    return reply;
}

}  // namespace txtest

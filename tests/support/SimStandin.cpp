#include "tests/support/SimStandin.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace txtest {

bool SimOverIpv6() {
    const char* protocol = std::getenv("TX_TEST_SIM_PROTOCOL");
    return protocol != nullptr && std::strcmp(protocol, "IPv6") == 0;
}

std::string SimAddress() {
    return SimOverIpv6() ? "::1" : "127.0.0.1";
}

std::string SimConnectConfigText(int port) {
    return std::string("[SimConnect]\nProtocol=") + (SimOverIpv6() ? "IPv6" : "IPv4") +
           "\nAddress=" + SimAddress() + "\nPort=" + std::to_string(port) + "\n";
}

void WriteSimConnectConfig(const Sandbox& sandbox, int port) {
    sandbox.CreateSettingsFolder();
    WriteFile(sandbox.settings() + "SimConnect.cfg", SimConnectConfigText(port));
}

SimStandin::~SimStandin() {
    if (m_process.Running()) {
        m_process.Signal(SIGTERM);
        m_process.Wait(std::chrono::seconds(5));
    }
}

bool SimStandin::Start(const std::vector<std::string>& args) {
    if (m_fixedPort) return StartOn(m_port, args);
    // A port found free may be taken by another test before the stand-in binds it: then another.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (StartOn(FreeTcpPort(), args)) return true;
        if (m_process.Stderr().find("Address already in use") == std::string::npos) return false;
    }
    return false;
}

bool SimStandin::StartOn(int port, const std::vector<std::string>& args) {
    m_port = port;
    WriteSimConnectConfig(m_sandbox, port);
    std::vector<std::string> all = {"--port", std::to_string(port)};
    all.insert(all.end(), args.begin(), args.end());
    if (!m_process.Start(BinaryPath("sim-standin"), all, m_sandbox.Env())) return false;
    return WaitUntil(
               [this] { return !m_process.Running() || Command("status").rfind("ok", 0) == 0; },
               std::chrono::seconds(10)) &&
           m_process.Running();
}

std::string SimStandin::Command(const std::string& line) {
    const std::string path = ControlPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) return "";
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return "";
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return "";
    }
    const std::string request = line + "\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd waiter{fd, POLLIN, 0};
        if (::poll(&waiter, 1, static_cast<int>(left.count())) <= 0) break;
        char c;
        if (::recv(fd, &c, 1, 0) != 1 || c == '\n') break;
        reply.push_back(c);
    }
    ::close(fd);
    return reply;
}

bool SimStandin::WaitForOutput(const std::string& needle, std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return Output().find(needle) != std::string::npos; }, timeout);
}

}  // namespace txtest

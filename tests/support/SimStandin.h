#pragma once
// The simulator stand-in as a child process of a test, in the test's own sandbox, with its
// control channel. It serves on a port of its own, and the SimConnect.cfg in the sandbox's
// settings folder tells the program and the client library where.

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace txtest {

// True when the tests reach the stand-in over IPv6 (::1): TX_TEST_SIM_PROTOCOL=IPv6.
bool SimOverIpv6();
// The loopback address the tests' SimConnect.cfg names: "127.0.0.1", or "::1" over IPv6.
std::string SimAddress();
// The text of a SimConnect.cfg for a simulator on `port` of SimAddress().
std::string SimConnectConfigText(int port);
// Writes it as the sandbox's SimConnect.cfg, creating the settings folder.
void WriteSimConnectConfig(const Sandbox& sandbox, int port);

class SimStandin {
  public:
    // `port` 0: a free one is picked at each Start. A fixed port serves a program that read its
    // SimConnect.cfg before the stand-in came, or one stand-in after another on the same port.
    explicit SimStandin(const Sandbox& sandbox, int port = 0) : m_sandbox(sandbox), m_port(port) {}
    ~SimStandin();  // stops the stand-in if it still runs

    // Writes the SimConnect.cfg, starts sim-standin on the port and waits until its control
    // channel answers.
    bool Start(const std::vector<std::string>& args = {});
    int Port() const { return m_port; }
    // Sends one control line; the stand-in's one-line answer, or "" when it cannot be reached.
    std::string Command(const std::string& line);
    // What the stand-in has logged so far.
    std::string Output() const { return m_process.Stdout(); }
    bool WaitForOutput(const std::string& needle, std::chrono::milliseconds timeout);
    ChildProcess& Process() { return m_process; }
    std::string ControlPath() const { return m_sandbox.runtime() + "/sim-standin.ctl"; }

  private:
    bool StartOn(int port, const std::vector<std::string>& args);

    const Sandbox& m_sandbox;
    int m_port;
    bool m_fixedPort = m_port != 0;
    ChildProcess m_process;
};

}  // namespace txtest

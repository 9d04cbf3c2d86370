#pragma once
// The simulator stand-in as a child process of a test, in the test's own sandbox. It serves on a
// port of its own, and the SimConnect.cfg in the sandbox's settings folder tells the program and
// the client library where.

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace txtest {

// A SimConnect.cfg for a simulator on `port` of loopback: over IPv6 (::1) when
// TX_TEST_SIM_PROTOCOL=IPv6, else over IPv4.
std::string SimConnectConfigText(int port);
// Writes it into the sandbox's settings folder, creating the folder.
void WriteSimConnectConfig(const Sandbox& sandbox, int port);

class SimStandin {
  public:
    // A fixed port serves a program that read its SimConnect.cfg before the stand-in came, or
    // one stand-in after another on the same port.
    SimStandin(const Sandbox& sandbox, int port) : m_sandbox(sandbox), m_port(port) {}

    // Writes the SimConnect.cfg, starts sim-standin on the port (with `args` besides) and waits
    // until it serves there.
    bool Start(const std::vector<std::string>& args = {});
    ChildProcess& Process() { return m_process; }
    // What the stand-in has logged so far, and a wait for `text` in it.
    std::string Output() const { return m_process.Stdout(); }
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);

  private:
    const Sandbox& m_sandbox;
    int m_port;
    ChildProcess m_process;
};

}  // namespace txtest

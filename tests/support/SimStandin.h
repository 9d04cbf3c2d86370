#pragma once
// The simulator stand-in as a child process of a test, in the test's own sandbox, with its
// control channel. It serves on a port of its own, and the SimConnect.cfg in the sandbox's
// settings folder tells the program and the client library where.

#include <string>

#include "tests/support/TestSupport.h"

namespace txtest {

// The text of a SimConnect.cfg for a simulator on `port` of loopback: over IPv6 (::1) when
// TX_TEST_SIM_PROTOCOL=IPv6, else over IPv4.
std::string SimConnectConfigText(int port);
// Writes it as the sandbox's SimConnect.cfg, creating the settings folder.
void WriteSimConnectConfig(const Sandbox& sandbox, int port);

class SimStandin {
  public:
    // `port` 0: a free one is picked at each Start. A fixed port serves a program that read its
    // SimConnect.cfg before the stand-in came, or one stand-in after another on the same port.
    explicit SimStandin(const Sandbox& sandbox, int port = 0) : m_sandbox(sandbox), m_port(port) {}

    // Writes the SimConnect.cfg, starts sim-standin on the port and waits until its control
    // channel answers.
    bool Start();
    // Sends one control line; the stand-in's one-line answer, or "" when it cannot be reached.
    std::string Command(const std::string& line);
    ChildProcess& Process() { return m_process; }

  private:
    bool StartOn(int port);

    const Sandbox& m_sandbox;
    int m_port;
    ChildProcess m_process;
};

}  // namespace txtest

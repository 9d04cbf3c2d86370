#pragma once
// The simulator stand-in as a child process of a test, in the test's own sandbox. It serves on a
// port of its own, and the SimConnect.cfg in the sandbox's settings folder tells the program and
// the client library where.

#include <string>

#include "tests/support/TestSupport.h"

namespace txtest {

// Writes the sandbox's SimConnect.cfg for a simulator on `port` of loopback, creating the
// settings folder: over IPv6 (::1) when TX_TEST_SIM_PROTOCOL=IPv6, else over IPv4.
void WriteSimConnectConfig(const Sandbox& sandbox, int port);

class SimStandin {
  public:
    // A fixed port serves a program that read its SimConnect.cfg before the stand-in came, or
    // one stand-in after another on the same port.
    SimStandin(const Sandbox& sandbox, int port) : m_sandbox(sandbox), m_port(port) {}

    // Writes the SimConnect.cfg, starts sim-standin on the port and waits until it serves there.
    bool Start();
    ChildProcess& Process() { return m_process; }

  private:
    const Sandbox& m_sandbox;
    int m_port;
    ChildProcess m_process;
};

}  // namespace txtest

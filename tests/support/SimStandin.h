#pragma once
// The simulator stand-in as a child process of a test, in the test's own sandbox, with its
// control channel.

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace txtest {

class SimStandin {
  public:
    explicit SimStandin(const Sandbox& sandbox) : m_sandbox(sandbox) {}
    ~SimStandin();  // stops the stand-in if it still runs

    // Starts sim-standin and waits until its control channel answers.
    bool Start(const std::vector<std::string>& args = {});
    // Sends one control line; the stand-in's one-line answer, or "" when it cannot be reached.
    std::string Command(const std::string& line);
    // What the stand-in has logged so far.
    std::string Output() const { return m_process.Stdout(); }
    bool WaitForOutput(const std::string& needle, std::chrono::milliseconds timeout);
    ChildProcess& Process() { return m_process; }
    std::string ControlPath() const { return m_sandbox.runtime() + "/sim-standin.ctl"; }
    std::string SocketPath() const { return m_sandbox.runtime() + "/SimConnect"; }
    std::string PresenceLockPath() const { return m_sandbox.runtime() + "/FS98MAIN"; }

  private:
    const Sandbox& m_sandbox;
    ChildProcess m_process;
};

}  // namespace txtest

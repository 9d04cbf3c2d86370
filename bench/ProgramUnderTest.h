#pragma once
// The Linux program as the figures run it: a child process in a sandbox of its own (private HOME,
// XDG folders, settings folder with its INI file), headless, serving on a free port, and told
// before it starts where a simulator stand-in will serve. TXBENCH_VERBOSE=1 prints the program's
// output and log when it goes.

#include <chrono>
#include <optional>
#include <string>

#include "tests/support/TestSupport.h"

namespace txbench {

// The INI file's settings the figures vary.
struct Ini {
    int port = 0;
    int logging = 0;
    int dataPeriod = 1;
    int waits4Sim = 0;
};
std::string IniText(const Ini& ini);

// A 20,480-byte picture for the image figures, as MCDU_Dspl.png in `folder` (ending in a
// separator). The server never decodes it, so a PNG signature in front of incompressible bytes
// stands for the gauge's picture.
void WriteDisplayPicture(const std::string& folder);

class ProgramUnderTest {
  public:
    // The sandbox with its INI (the port chosen here) and a SimConnect.cfg naming simPort().
    explicit ProgramUnderTest(Ini ini);
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

    bool Start();
    txtest::ChildProcess& process() { return m_process; }
    txtest::Sandbox& sandbox() { return m_sandbox; }
    int port() const { return m_port; }
    // Where the program looks for the simulator: a stand-in started later serves this port.
    int simPort() const { return m_simPort; }
    std::string PipePath() const;
    std::string Log() const { return txtest::ReadFile(m_sandbox.LogPath()); }
    // Waits until "/" answers with the status page (the simulator link is up).
    bool WaitOnline(std::chrono::milliseconds timeout);
    // Waits until "/" answers at all.
    bool WaitServing(std::chrono::milliseconds timeout);
    // Starts the program and waits, asking every 0.2 ms, for its first answer to "/": the
    // milliseconds from the start, or nothing when none came within `timeout`.
    std::optional<double> StartToFirstAnswer(std::chrono::milliseconds timeout);

  private:
    txtest::Sandbox m_sandbox;
    txtest::ChildProcess m_process;
    int m_port = 0;
    int m_simPort = 0;
};

}  // namespace txbench

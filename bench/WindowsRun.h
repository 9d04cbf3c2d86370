#pragma once
// What the Windows build's figures share: the Windows program (a mingw-w64 build) and the bench's
// Windows helpers run under Wine, in the prefix, scratch home and display that bench/run.sh made,
// each as `wine <exe> <args>`; with a running wineserver the wine process becomes the Windows
// process (same process id), and SIGKILL ends it. The program's settings folder is the prefix's
// documents folder, $HOME/Documents, in bench/run.sh's scratch home.

#include <string>
#include <vector>

#include "bench/Options.h"
#include "tests/support/TestSupport.h"

namespace txbench {

class WindowsRun {
  public:
    explicit WindowsRun(const Options& options);

    // False when there is no Wine prefix to run in.
    bool Ready() const;
    // The settings folder afresh, with the INI file (the program serves port()) and the picture.
    void PrepareSettings();
    void RemoveSettings() const;
    const std::string& settings() const { return m_settings; }
    int port() const { return m_port; }
    // Where the simulator stand-in serves, as the SimConnect.cfg written later says.
    int simPort() const { return m_simPort; }
    // The program's working folder: the web pages' pictures beside the build's bin folder.
    std::string www() const;
    // A scratch folder for the helpers' runs.
    const std::string& work() const { return m_work.path(); }

    // Starts `exe` of the build's bin folder under Wine.
    bool Start(txtest::ChildProcess& process, const std::string& exe, std::vector<std::string> args,
               const std::string& workDir) const;
    // Kills a Windows process and waits for it (a Windows program has no SIGTERM to take).
    static void End(txtest::ChildProcess& process);

  private:
    std::string m_bin;
    std::string m_wine;
    std::string m_settings;
    int m_port = 0;
    int m_simPort = 0;
    txtest::TempDir m_work;
};

}  // namespace txbench

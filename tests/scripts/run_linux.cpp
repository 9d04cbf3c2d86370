// scripts/run.sh stopped the way supervisors and terminals stop it: a signal to the script and
// soon after one to its whole process group, or the same signal twice. The second signal must not
// cut the clean-up short: every program the run started ends, in its order, so that the next run
// finds the stand-ins' ports free.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <set>
#include <thread>

#include "tests/support/SimStandin.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

// Names as /proc/<pid>/comm gives them: at most 15 characters.
const char* const kRunPrograms[] = {"sim-standin", "gauge-standin", "TarvelXConnectE"};

class RunScriptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_webPort = txtest::FreeTcpPort();
        m_sandbox.WriteIni("[Common]\nLogging=1\nDataRequestPeriod=1\n[Server]\nEnabled=1\nPort=" +
                           std::to_string(m_webPort) + "\nWebserverWaits4Sim=0\n");
        // run.sh starts its simulator stand-in on the port this file names.
        txtest::WriteSimConnectConfig(m_sandbox, txtest::FreeTcpPort());
    }

    void TearDown() override {
        for (const int pid : ProcessesOfTheRun()) ::kill(pid, SIGKILL);
    }

    // The run as a process group of its own, as a terminal or a supervisor starts it; its
    // programs as built by this build, nothing built anew.
    void StartRun() {
        auto env = m_sandbox.Env();
        env["TX_BUILD_DIR"] = std::string(TX_BIN_DIR) + "/..";
        ASSERT_TRUE(m_run.Start("/usr/bin/setsid",
                                {"bash", std::string(TX_SOURCE_DIR) + "/scripts/run.sh"}, env));
        ASSERT_TRUE(txtest::WaitUntil(
            [&] {
                return txtest::ReadFile(m_sandbox.LogPath()).find("FSX online.") !=
                       std::string::npos;
            },
            30s))
            << m_run.Stdout() << m_run.Stderr();
        // All three are up before the test stops them.
        ASSERT_TRUE(txtest::WaitUntil([&] { return RunningNames().size() == 3; }, 10s));
    }

    // Every process that carries this sandbox's runtime folder: what the run started, wherever it
    // was reparented to.
    std::vector<int> ProcessesOfTheRun() const {
        const std::string marker = "XDG_RUNTIME_DIR=" + m_sandbox.runtime();
        std::vector<int> found;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string name = entry.path().filename();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            const std::string environ = txtest::ReadFile(entry.path().string() + "/environ");
            size_t at = 0;
            for (size_t end; (end = environ.find('\0', at)) != std::string::npos; at = end + 1) {
                if (environ.compare(at, end - at, marker) == 0) {
                    found.push_back(std::stoi(name));
                    break;
                }
            }
        }
        return found;
    }

    std::set<std::string> RunningNames() const {
        std::set<std::string> names;
        for (const int pid : ProcessesOfTheRun()) {
            std::string comm = txtest::ReadFile("/proc/" + std::to_string(pid) + "/comm");
            if (!comm.empty() && comm.back() == '\n') comm.pop_back();
            for (const char* program : kRunPrograms)
                if (comm == program) names.insert(comm);
        }
        return names;
    }

    void SignalGroup(int signal) { ::kill(-m_run.pid(), signal); }

    // The run has ended with every program of it, the program's shutdown complete.
    void ExpectAllStopped() {
        ASSERT_TRUE(m_run.Wait(60s).has_value()) << "run.sh still runs";
        EXPECT_TRUE(txtest::WaitUntil([&] { return ProcessesOfTheRun().empty(); }, 10s))
            << ProcessesOfTheRun().size()
            << " processes left: " << ::testing::PrintToString(RunningNames());
        EXPECT_EQ(txtest::CountLines(m_run.Stdout(), "Stopped."), 1) << m_run.Stdout();
        const std::string log = txtest::ReadFile(m_sandbox.LogPath());
        EXPECT_NE(log.find("TarvelXConnectExtended.exe: END.\n"), std::string::npos) << log;
    }

    txtest::Sandbox m_sandbox;
    txtest::ChildProcess m_run;
    int m_webPort = 0;
};

TEST_F(RunScriptTest, TermToTheScriptThenToItsGroup) {
    ASSERT_NO_FATAL_FAILURE(StartRun());
    m_run.Signal(SIGTERM);
    std::this_thread::sleep_for(50ms);
    SignalGroup(SIGTERM);
    ExpectAllStopped();
}

TEST_F(RunScriptTest, TermToTheGroupTwice) {
    ASSERT_NO_FATAL_FAILURE(StartRun());
    SignalGroup(SIGTERM);
    std::this_thread::sleep_for(50ms);
    SignalGroup(SIGTERM);
    ExpectAllStopped();
}

TEST_F(RunScriptTest, CtrlCTwice) {
    ASSERT_NO_FATAL_FAILURE(StartRun());
    SignalGroup(SIGINT);
    std::this_thread::sleep_for(50ms);
    SignalGroup(SIGINT);
    ExpectAllStopped();
}

}  // namespace

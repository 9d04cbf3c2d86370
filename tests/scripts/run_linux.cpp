// scripts/run.sh stopped the way supervisors and terminals stop it: a signal to the script and
// soon after one to its whole process group, or the same signal twice. The second signal must not
// cut the clean-up short: every program the run started ends, in its order, so that the next run
// finds the stand-ins' ports free.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <thread>

#include "tests/support/SimStandin.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

// Every process that carries the sandbox's runtime folder: what the run started, wherever it was
// reparented to (the stand-ins run in sessions of their own).
std::vector<int> ProcessesOfTheRun(const txtest::Sandbox& sandbox) {
    const std::string marker = "XDG_RUNTIME_DIR=" + sandbox.runtime() + '\0';
    std::vector<int> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        if (('\0' + txtest::ReadFile(entry.path().string() + "/environ")).find('\0' + marker) !=
            std::string::npos)
            found.push_back(std::stoi(name));
    }
    return found;
}

// Kills what a failed case left behind, so that it cannot hold ports for the next.
struct Leftovers {
    const txtest::Sandbox& sandbox;
    ~Leftovers() {
        for (const int pid : ProcessesOfTheRun(sandbox)) ::kill(pid, SIGKILL);
    }
};

TEST(RunScriptTest, ASecondSignalNeverCutsTheCleanUpShort) {
    const struct {
        const char* name;
        bool firstToTheScriptOnly;
        int signal;
    } orders[] = {{"TERM to the script, then to its group", true, SIGTERM},
                  {"TERM to the group twice", false, SIGTERM},
                  {"Ctrl-C twice", false, SIGINT}};
    for (const auto& order : orders) {
        SCOPED_TRACE(order.name);
        txtest::Sandbox sandbox;
        const Leftovers leftovers{sandbox};
        sandbox.WriteIni("[Common]\nLogging=1\nDataRequestPeriod=1\n[Server]\nEnabled=1\nPort=" +
                         std::to_string(txtest::FreeTcpPort()) + "\nWebserverWaits4Sim=0\n");
        // run.sh starts its simulator stand-in on the port this file names.
        txtest::WriteSimConnectConfig(sandbox, txtest::FreeTcpPort());
        // The run as a process group of its own, as a terminal or a supervisor starts it; its
        // programs as built by this build, nothing built anew.
        auto env = sandbox.Env();
        env["TX_BUILD_DIR"] = std::string(TX_BIN_DIR) + "/..";
        txtest::ChildProcess run;
        ASSERT_TRUE(run.Start("/usr/bin/setsid",
                              {"bash", std::string(TX_SOURCE_DIR) + "/scripts/run.sh"}, env));
        const auto log = [&] { return txtest::ReadFile(sandbox.LogPath()); };
        // All three are up before the test stops them.
        ASSERT_TRUE(txtest::WaitUntil(
            [&] {
                return log().find("FSX online.") != std::string::npos &&
                       run.Stdout().find("GAUGE: listening on") != std::string::npos;
            },
            30s))
            << run.Stdout() << run.Stderr();

        ::kill(order.firstToTheScriptOnly ? run.pid() : -run.pid(), order.signal);
        std::this_thread::sleep_for(50ms);
        ::kill(-run.pid(), order.signal);

        ASSERT_TRUE(run.Wait(60s).has_value()) << "run.sh still runs";
        EXPECT_TRUE(txtest::WaitUntil([&] { return ProcessesOfTheRun(sandbox).empty(); }, 10s))
            << ProcessesOfTheRun(sandbox).size() << " processes left";
        EXPECT_EQ(txtest::CountLines(run.Stdout(), "Stopped."), 1) << run.Stdout();
        EXPECT_NE(log().find("TarvelXConnectExtended.exe: END.\n"), std::string::npos) << log();
    }
}

}  // namespace

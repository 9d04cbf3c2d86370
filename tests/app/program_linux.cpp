// The program as a real process, headless, each run with its own HOME and XDG_RUNTIME_DIR.

#include <gtest/gtest.h>
#include <signal.h>

#include <regex>
#include <sstream>
#include <thread>

#include "app/TarvelXConnectDlg.h"
#include "tests/support/SimStandin.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

const std::string kProgram = txtest::BinaryPath("TarvelXConnectExtended");

bool LogHas(const txtest::Sandbox& sandbox, const std::string& text) {
    return txtest::ReadFile(sandbox.LogPath()).find(text) != std::string::npos;
}

std::string IniWithLogging(int port) {
    return "[Common]\nLogging=1\n[Server]\nEnabled=1\nPort=" + std::to_string(port) +
           "\nWebserverWaits4Sim=1\n";
}

TEST(ProgramTest, MissingIniIsReportedOnceAndTheDefaultsRun) {
    txtest::Sandbox sandbox;
    txtest::ChildProcess program;
    ASSERT_TRUE(program.Start(kProgram, {}, sandbox.Env()));
    const std::string expected = "Information: The INI file is not found at '" +
                                 sandbox.settings() + "TarvelXConnectExtended.ini'!\n";
    ASSERT_TRUE(txtest::WaitUntil(
        [&] { return program.Stderr().find(expected) != std::string::npos; }, 20s))
        << program.Stderr();
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(program.Running());
    program.Signal(SIGTERM);
    ASSERT_EQ(program.Wait(20s), 0) << program.Stderr();
    EXPECT_EQ(txtest::CountLines(program.Stderr(), "INI file is not found"), 1);
    // The program never creates the settings folder, and without it there is no log either.
    EXPECT_FALSE(txtest::FileExists(sandbox.settings()));
}

TEST(ProgramTest, LogRecordsBeginDiagnosticsAndEnd) {
    txtest::Sandbox sandbox;
    sandbox.WriteIni(IniWithLogging(txtest::FreeTcpPort()));
    txtest::ChildProcess program;
    ASSERT_TRUE(program.Start(kProgram, {}, sandbox.Env()));
    ASSERT_TRUE(txtest::WaitUntil([&] { return LogHas(sandbox, "Module version"); }, 20s));
    program.Signal(SIGTERM);
    ASSERT_EQ(program.Wait(20s), 0) << program.Stderr();

    const std::string log = txtest::ReadFile(sandbox.LogPath());
    std::istringstream lines(log);
    std::string first, second, third;
    std::getline(lines, first);
    std::getline(lines, second);
    std::getline(lines, third);
    const std::string prefix = R"(^\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d:\d{3}\]: )";
    EXPECT_TRUE(std::regex_match(
        first, std::regex(prefix + R"(TarvelXConnectExtended\.exe: BEGIN; LOG: )" +
                          sandbox.settings() + R"(TarvelXConnectExtended\.ini\.$)")))
        << first;
    EXPECT_TRUE(
        std::regex_match(second, std::regex(prefix + R"(Dataflags: 1, 1, size=0x00000000\.$)")))
        << second;
    EXPECT_TRUE(std::regex_match(
        third,
        std::regex(prefix +
                   R"(Module version: 1\.2\.0\.0\. Date/time: \d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.$)")))
        << third;
    const std::string end = "TarvelXConnectExtended.exe: END.\n";
    ASSERT_GE(log.size(), end.size());
    EXPECT_EQ(log.substr(log.size() - end.size()), end);
    // With a log there is no message about the INI file.
    EXPECT_EQ(program.Stderr().find("INI file"), std::string::npos);
}

TEST(ProgramTest, SecondCopyIsRefusedAndTheFirstRunsOn) {
    txtest::Sandbox sandbox;
    sandbox.WriteIni(IniWithLogging(txtest::FreeTcpPort()));
    txtest::ChildProcess first;
    ASSERT_TRUE(first.Start(kProgram, {}, sandbox.Env()));
    ASSERT_TRUE(txtest::WaitUntil([&] { return LogHas(sandbox, "Module version"); }, 20s));
    const std::string logBefore = txtest::ReadFile(sandbox.LogPath());

    txtest::ChildProcess second;
    ASSERT_TRUE(second.Start(kProgram, {}, sandbox.Env()));
    ASSERT_EQ(second.Wait(20s), 0);
    EXPECT_EQ(second.Stderr(),
              "Information: Application is already running, only one instance is allowed.\n");
    EXPECT_TRUE(first.Running());
    // The refused copy neither truncated nor wrote the first copy's log.
    EXPECT_EQ(txtest::ReadFile(sandbox.LogPath()).substr(0, logBefore.size()), logBefore);
    EXPECT_EQ(txtest::CountLines(txtest::ReadFile(sandbox.LogPath()), "BEGIN"), 1);

    first.Signal(SIGINT);
    ASSERT_EQ(first.Wait(20s), 0);
    EXPECT_TRUE(LogHas(sandbox, "TarvelXConnectExtended.exe: END.\n"));
}

TEST(ProgramTest, CloseRequestsDuringShutdownChangeNothing) {
    // Online, so that shutdown stops a worker and says goodbye to the gauge: it takes a while,
    // and every signal of the loop below comes during it or after the event loop has ended.
    txtest::Sandbox sandbox;
    sandbox.WriteIni(IniWithLogging(txtest::FreeTcpPort()));
    txtest::SimStandin simulator(sandbox);
    ASSERT_TRUE(simulator.Start());
    txtest::ChildProcess program;
    ASSERT_TRUE(program.Start(kProgram, {}, sandbox.Env()));
    ASSERT_TRUE(txtest::WaitUntil([&] { return LogHas(sandbox, "FSX online."); }, 20s));

    program.Signal(SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    std::optional<int> exit;
    for (int sent = 0; !(exit = program.Wait(0ms)); ++sent) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the program hangs";
        program.Signal(sent % 2 == 0 ? SIGINT : SIGTERM);
        std::this_thread::sleep_for(200us);
    }
    EXPECT_EQ(exit, 0) << program.Stderr();
    const std::string log = txtest::ReadFile(sandbox.LogPath());
    EXPECT_EQ(txtest::CountLines(log, "END."), 1) << log;
    const std::string end = "TarvelXConnectExtended.exe: END.\n";
    ASSERT_GE(log.size(), end.size());
    EXPECT_EQ(log.substr(log.size() - end.size()), end);
}

TEST(TimerTest, OnlyThePresenceTimerDrivesTheSimulatorLink) {
    txtest::Sandbox sandbox;
    sandbox.Apply();
    txtest::SimStandin simulator(sandbox);
    ASSERT_TRUE(simulator.Start());
    app::CTarvelXConnectDlg dlg;
    dlg.OnTimer(1);
    dlg.OnTimer(ui::kPresenceTimerId + 1);
    EXPECT_FALSE(dlg.Link().IsOnline());
    EXPECT_FALSE(dlg.Link().IsSimThreadRegistered());
    dlg.OnTimer(ui::kPresenceTimerId);
    EXPECT_TRUE(dlg.Link().IsOnline());
    EXPECT_TRUE(dlg.Link().IsSimThreadRegistered());
    dlg.Link().CloseSimconnectThread();
    dlg.Link().ClearSimConnect();
}

}  // namespace

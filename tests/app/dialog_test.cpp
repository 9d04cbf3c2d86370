// The main window's start in the process, on every system: where it is placed on the screen, and
// what the INI in the settings folder starts (the program as a process: app_test.cpp on Linux,
// tests/windows/program on Windows).

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "app/TarvelXConnectDlg.h"
#include "tests/support/TestSupport.h"

namespace {

using app::CTarvelXConnectDlg;
using namespace std::chrono_literals;

TEST(WindowPlacementTest, CentredWithXOnMultiplesOfEight) {
    EXPECT_EQ(CTarvelXConnectDlg::ComputeWindowPosition(1366, 768).x, 520);
    EXPECT_EQ(CTarvelXConnectDlg::ComputeWindowPosition(1368, 768).x, 520);
    EXPECT_EQ(CTarvelXConnectDlg::ComputeWindowPosition(1920, 1080).x, 800);
    EXPECT_EQ(CTarvelXConnectDlg::ComputeWindowPosition(1680, 1050).y, 365);
    EXPECT_EQ(CTarvelXConnectDlg::ComputeWindowPosition(1366, 767).y, 223);
}

// A sandbox whose INI is `ini`, applied before the main window is made (it takes its folders when
// it is made).
std::unique_ptr<txtest::Sandbox> SandboxWith(const std::string& ini) {
    auto sandbox = std::make_unique<txtest::Sandbox>();
    sandbox->Apply();
    sandbox->WriteIni(ini);
    return sandbox;
}

// Starts the main window in the process and closes it once its start is logged; the log's text.
std::string StartAndClose(CTarvelXConnectDlg& dlg, const txtest::Sandbox& sandbox) {
    const auto log = [&] { return txtest::ReadLog(sandbox.LogPath()); };
    std::thread closer([&] {
        txtest::WaitUntil([&] { return log().find("Module version") != std::string::npos; }, 20s);
        std::this_thread::sleep_for(200ms);
        dlg.RequestClose();
    });
    EXPECT_EQ(dlg.DoModal(), 1);
    closer.join();
    return log();
}

TEST(StartupTest, DisabledServerLeavesPortUnreadAndStartsNoServer) {
    const auto sandbox = SandboxWith(
        "[Common]\nLogging=1\n[Server]\nEnabled=0\nPort=" + std::to_string(txtest::FreeTcpPort()) +
        "\nWebserverWaits4Sim=0\n");
    CTarvelXConnectDlg dlg;
    const std::string log = StartAndClose(dlg, *sandbox);
    EXPECT_FALSE(dlg.ServerEnabled());
    EXPECT_EQ(dlg.Port(), 0u);
    EXPECT_EQ(log.find("webserver"), std::string::npos);
}

// What tablets are pointed at when the INI leaves the server's keys out: enabled, port 4040, and
// waiting for the simulator.
TEST(StartupTest, AServerSectionLeftOutGivesTheDefaults) {
    const auto sandbox = SandboxWith("[Common]\nLogging=1\n");
    CTarvelXConnectDlg dlg;
    const std::string log = StartAndClose(dlg, *sandbox);
    EXPECT_TRUE(dlg.ServerEnabled());
    EXPECT_EQ(dlg.Port(), 4040u);
    // No simulator came: a server that waits for it has not started.
    EXPECT_EQ(log.find("Starting the webserver"), std::string::npos) << log;
}

}  // namespace

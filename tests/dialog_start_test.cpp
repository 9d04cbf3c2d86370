// The main window's start in the process, on every system: where it is placed on the screen, and
// what the INI in the settings folder starts (the program as a process: app_test.cpp on Linux,
// tests/windows/program on Windows).

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "app/TarvelXConnectDlg.h"
#include "tests/support/TestSupport.h"

namespace {

using app::CTarvelXConnectDlg;
using namespace std::chrono_literals;

TEST(WindowPlacementTest, CentredWithXOnMultiplesOfEight) {
    EXPECT_EQ(CTarvelXConnectDlg::ComputeWindowPosition(1366, 768).x, 520);
    EXPECT_EQ(CTarvelXConnectDlg::ComputeWindowPosition(1600, 900).x, 640);
    EXPECT_EQ(CTarvelXConnectDlg::ComputeWindowPosition(1920, 1080).x, 800);
    EXPECT_EQ(CTarvelXConnectDlg::ComputeWindowPosition(1680, 1050).y, 365);
    EXPECT_EQ(CTarvelXConnectDlg::ComputeWindowPosition(1366, 767).y, 223);
}

TEST(StartupTest, DisabledServerLeavesPortUnreadAndStartsNoServer) {
    txtest::Sandbox sandbox;
    sandbox.Apply();
    const int port = txtest::FreeTcpPort();
    sandbox.WriteIni("[Common]\nLogging=1\n[Server]\nEnabled=0\nPort=" + std::to_string(port) +
                     "\nWebserverWaits4Sim=0\n");
    const auto logHas = [&](const std::string& text) {
        return txtest::ReadLog(sandbox.LogPath()).find(text) != std::string::npos;
    };
    CTarvelXConnectDlg dlg;
    std::thread closer([&] {
        txtest::WaitUntil([&] { return logHas("Module version"); }, 20s);
        std::this_thread::sleep_for(200ms);
        dlg.RequestClose();
    });
    EXPECT_EQ(dlg.DoModal(), 1);
    closer.join();
    EXPECT_FALSE(dlg.ServerEnabled());
    EXPECT_EQ(dlg.Port(), 0u);
    EXPECT_EQ(dlg.Server(), nullptr);
    EXPECT_FALSE(logHas("webserver"));
}

}  // namespace

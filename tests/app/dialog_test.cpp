// The main window's start in the process, on every system: where it is placed on the screen, and
// what the INI in the settings folder starts (the program as a process: program.test.mjs).

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
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

// The main window made in a sandbox whose INI is `ini` (it takes its folders when it is made),
// started and closed once its start is logged; the log's text, which begins with BEGIN and the
// INI's path.
std::string StartAndClose(const std::string& ini,
                          const std::function<void(CTarvelXConnectDlg&)>& check) {
    txtest::Sandbox sandbox;
    sandbox.Apply();
    sandbox.WriteIni(ini);
    CTarvelXConnectDlg dlg;
    const auto log = [&] { return txtest::ReadLog(sandbox.LogPath()); };
    std::thread closer([&] {
        EXPECT_TRUE(txtest::WaitUntil(
            [&] { return log().find("Module version") != std::string::npos; }, 20s));
        std::this_thread::sleep_for(200ms);
        dlg.RequestClose();
    });
    EXPECT_EQ(dlg.DoModal(), 1);
    closer.join();
    check(dlg);
    const std::string begin = "]: TarvelXConnectExtended.exe: BEGIN; LOG: " + sandbox.settings();
    EXPECT_EQ(log().find(begin + "TarvelXConnectExtended.ini.\n"), 24u) << log();
    return log();
}

// What the INI's server keys start: nothing when disabled, the port unread; when left out, what
// tablets are pointed at: enabled, port 4040, waiting for the simulator (none comes here).
TEST(StartupTest, TheServerKeysAndTheirDefaults) {
    const struct {
        const char* ini;
        bool enabled;
        unsigned port;
    } cases[] = {
        {"[Common]\nLogging=1\n[Server]\nEnabled=0\nPort=4041\nWebserverWaits4Sim=0\n", false, 0},
        {"[Common]\nLogging=1\n", true, 4040}};
    for (const auto& c : cases) {
        const std::string log = StartAndClose(c.ini, [&](CTarvelXConnectDlg& dlg) {
            EXPECT_EQ(dlg.ServerEnabled(), c.enabled);
            EXPECT_EQ(dlg.Port(), c.port);
        });
        EXPECT_EQ(log.find("Starting the webserver"), std::string::npos) << log;
    }
}

}  // namespace

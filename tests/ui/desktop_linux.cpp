// The real window on a real (virtual) X display, with the simulator stand-in: the lamp follows the
// simulator, the address strip opens the browser, the exit strip ends the program.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <thread>

#include "tests/support/SimStandin.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XvfbSession.h"

namespace {

using namespace std::chrono_literals;

struct Color {
    int r = -1, g = -1, b = -1;
};

class DesktopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!txtest::XvfbSession::IsInstalled() || txtest::FindProgram("xdotool").empty() ||
            txtest::FindProgram("convert").empty())
            GTEST_SKIP() << "Xvfb, xdotool or ImageMagick is not installed";
        ASSERT_TRUE(m_x.Start(1280, 1024));
        m_artefacts = std::string(TX_BIN_DIR) + "/../artefacts";
        std::filesystem::create_directories(m_artefacts);
        m_port = txtest::FreeTcpPort();
        // The simulator's port is named before the program starts, and nothing serves it until
        // the stand-in does: offline means offline, whatever else runs on this machine.
        m_simPort = txtest::FreeTcpPort();
        txtest::WriteSimConnectConfig(m_sandbox, m_simPort);
        m_sandbox.WriteIni("[Common]\nLogging=1\nDataRequestPeriod=1\n[Server]\nEnabled=1\nPort=" +
                           std::to_string(m_port) + "\nWebserverWaits4Sim=0\n");
        // A stand-in browser that only writes down what it was asked to open.
        m_opened = m_sandbox.home() + "/opened-urls";
        m_launcher = m_sandbox.home() + "/browser-stub";
        txtest::WriteFile(m_launcher, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + m_opened + "'\n");
        ::chmod(m_launcher.c_str(), 0755);
    }

    std::map<std::string, std::string> Env() const {
        auto env = m_sandbox.Env();
        env["SDL_VIDEODRIVER"] = "x11";
        env["DISPLAY"] = m_x.display();
        env["BROWSER"] = m_launcher;
        return env;
    }

    std::string Log() const { return txtest::ReadFile(m_sandbox.LogPath()); }
    bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }

    // The window's top-left corner on the screen.
    bool FindWindow() {
        for (int attempt = 0; attempt < 100; ++attempt) {
            auto ids = m_x.Run("xdotool", {"search", "--name", "TarvelX Load Manager"});
            if (ids && !ids->empty()) {
                const std::string id = ids->substr(0, ids->find('\n'));
                auto shell = m_x.Run("xdotool", {"getwindowgeometry", "--shell", id});
                std::smatch match;
                if (shell &&
                    std::regex_search(*shell, match, std::regex(R"(X=(-?\d+)\nY=(-?\d+))"))) {
                    m_left = std::stoi(match[1]);
                    m_top = std::stoi(match[2]);
                    return true;
                }
            }
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    // The colour of the window's client point (x, y), from a screenshot saved as `name`.
    Color PixelAt(const std::string& name, int x, int y) {
        const std::string path = m_artefacts + "/" + name;
        if (!m_x.Screenshot(path)) return {};
        const auto text = txtest::RunProgram(
            txtest::FindProgram("convert"),
            {path, "-format",
             "%[fx:int(255*p{" + std::to_string(m_left + x) + "," + std::to_string(m_top + y) +
                 "}.r)],%[fx:int(255*p{" + std::to_string(m_left + x) + "," +
                 std::to_string(m_top + y) + "}.g)],%[fx:int(255*p{" + std::to_string(m_left + x) +
                 "," + std::to_string(m_top + y) + "}.b)]",
             "info:"},
            {});
        Color color;
        if (text) std::sscanf(text->c_str(), "%d,%d,%d", &color.r, &color.g, &color.b);
        return color;
    }

    // The lamp's centre is clearly red or clearly green; both are checked the same way.
    bool LampIs(bool green, const std::string& name) {
        for (int attempt = 0; attempt < 30; ++attempt) {
            // Left of the centre: the lamp's own colour, clear of its bright highlight.
            const Color c = PixelAt(name, 119, 159);
            const bool isGreen = c.g > c.r + 60;
            const bool isRed = c.r > c.g + 60;
            if (green ? isGreen : isRed) return true;
            std::this_thread::sleep_for(200ms);
        }
        return false;
    }

    void Click(int x, int y) {
        m_x.Run("xdotool", {"mousemove", std::to_string(m_left + x), std::to_string(m_top + y)});
        std::this_thread::sleep_for(150ms);
        m_x.Run("xdotool", {"click", "1"});
    }

    txtest::XvfbSession m_x;
    txtest::Sandbox m_sandbox;
    std::string m_artefacts;
    std::string m_opened;
    std::string m_launcher;
    int m_port = 0;
    int m_simPort = 0;
    int m_left = 0;
    int m_top = 0;
};

TEST_F(DesktopTest, LampFollowsTheSimulatorAndTheStripsWork) {
    txtest::ChildProcess program;
    ASSERT_TRUE(program.Start(txtest::BinaryPath("TarvelXConnectExtended"), {}, Env()));
    ASSERT_TRUE(FindWindow()) << program.Stderr();
    ASSERT_TRUE(txtest::WaitUntil([&] { return LogHas("Webbrowser IP:"); }, 20s));
    EXPECT_TRUE(LampIs(false, "desktop-offline.png"));

    // The simulator comes: the lamp turns green.
    txtest::SimStandin simulator(m_sandbox, m_simPort);
    ASSERT_TRUE(simulator.Start({"--autostart"})) << simulator.Process().Stderr();
    ASSERT_TRUE(txtest::WaitUntil([&] { return LogHas("FSX online.\n"); }, 20s));
    EXPECT_TRUE(LampIs(true, "desktop-online.png"));

    // Its window goes: red again.
    simulator.Process().Signal(SIGTERM);
    ASSERT_EQ(simulator.Process().Wait(20s), 0);
    ASSERT_TRUE(txtest::WaitUntil([&] { return LogHas("FSX offline.\n"); }, 20s));
    EXPECT_TRUE(LampIs(false, "desktop-offline-again.png"));

    // The address strip opens the status page in the browser.
    Click(240, 289);
    // The stub's shell creates the file before it writes the line: wait for the whole line.
    std::string url;
    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            url = txtest::FileExists(m_opened) ? txtest::ReadFile(m_opened) : "";
            return !url.empty() && url.back() == '\n';
        },
        20s));
    EXPECT_TRUE(
        std::regex_match(url, std::regex("http://[0-9.]+:" + std::to_string(m_port) + "\n")))
        << url;
    EXPECT_TRUE(txtest::WaitUntil(
        [&] { return LogHas("Webbrowser launched: " + url.substr(0, url.size() - 1) + ".\n"); },
        5s));
    EXPECT_TRUE(program.Running());

    // The exit strip ends the program in order.
    Click(280, 255);
    ASSERT_EQ(program.Wait(20s), 0) << program.Stderr();
    EXPECT_TRUE(LogHas("TarvelXConnectExtended.exe: END.\n"));
}

}  // namespace

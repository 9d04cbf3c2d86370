// The Windows stand-ins the program's tests run under Wine, each doing the one job those tests
// rely on: the gauge's named pipe takes the program's 2-byte key messages, and the simulator's
// window is found exactly while its stand-in runs. A stand-in broken badly enough to make the
// program's tests mislead fails here.

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <memory>
#include <string>

#include "log/LogStream.h"
#include "pipe/McduPipeClient.h"
#include "platform/SimulatorWindow.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

// Names of pipes and events are global in a Wine prefix: each row takes its own.
std::string UniqueName(const char* what) {
    return std::string("tx_standins_") + what + "_" + std::to_string(::GetCurrentProcessId());
}

// A named manual-reset event made before the stand-in opens it: set, it ends the stand-in.
using StopEvent = std::unique_ptr<void, decltype(&::CloseHandle)>;
StopEvent MakeStopEvent(const std::string& name) {
    return {::CreateEventA(nullptr, TRUE, FALSE, name.c_str()), &::CloseHandle};
}

TEST(StandinSmokeTest, EachStandinDoesTheJobTheProgramsTestsRelyOn) {
    // gauge-standin: it listens on its pipe and logs each key message the program's client sends.
    txtest::TempDir folder;
    const std::string pipe = UniqueName("pipe"), log = folder.path() + "\\gauge.log";
    const std::string gaugeStop = UniqueName("gaugestop");
    const StopEvent stopGauge = MakeStopEvent(gaugeStop);
    txtest::ChildProcess gauge;
    ASSERT_TRUE(gauge.Start(txtest::BinaryPath("gauge-standin"),
                            {"--pipe", pipe, "--log", log, "--stop-event", gaugeStop}, {}));
    auto logged = [&](const std::string& text) {
        return txtest::WaitUntil(
            [&] { return txtest::ReadFile(log).find(text) != std::string::npos; }, 30s);
    };
    ASSERT_TRUE(logged("GAUGE: listening on")) << gauge.Stdout();
    logging::LogStream quiet;  // never opened: the client's log lines go nowhere
    mcdupipe::McduPipeClient client("\\\\.\\pipe\\" + pipe, quiet, 2000ms);
    ASSERT_TRUE(client.ConnectMcduPipe());
    ASSERT_TRUE(client.SendKey(39));
    EXPECT_TRUE(logged("GAUGE: code 39 (A)")) << txtest::ReadFile(log);
    ::SetEvent(stopGauge.get());
    EXPECT_EQ(gauge.Wait(10s), 0);

    // simwindow-standin: the program's presence check finds the simulator's window while it
    // runs, and no longer once it has ended.
    ASSERT_FALSE(platform::SimulatorWindowExists()) << "another FS98MAIN window is up";
    const std::string windowStop = UniqueName("windowstop");
    const StopEvent stopWindow = MakeStopEvent(windowStop);
    txtest::ChildProcess window;
    ASSERT_TRUE(
        window.Start(txtest::BinaryPath("simwindow-standin"), {"--stop-event", windowStop}, {}));
    EXPECT_TRUE(txtest::WaitUntil([] { return platform::SimulatorWindowExists(); }, 30s))
        << window.Stdout();
    ::SetEvent(stopWindow.get());
    EXPECT_EQ(window.Wait(10s), 0);
    EXPECT_FALSE(platform::SimulatorWindowExists());
}

}  // namespace

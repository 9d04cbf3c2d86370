// The gauge stand-in the program's tests run in place of the MCDU gauge, doing the jobs those
// tests rely on: it takes the program's 2-byte key messages and redraws the display picture the
// remote MCDU page shows. (The simulator stand-in has no row here: the soak takes the program
// online and offline through it, the real library and its presence lock, and interop runs
// node-simconnect against it.)

#include <gtest/gtest.h>

#include <string>

#include "log/LogStream.h"
#include "pipe/McduPipeClient.h"
#include "platform/Paths.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

TEST(StandinSmokeTest, GaugeTakesAKeyAndRedrawsTheDisplay) {
    txtest::Sandbox sandbox;
    sandbox.Apply();
    sandbox.CreateSettingsFolder();
    const std::string picture = sandbox.settings() + "MCDU_Dspl.png";
    txtest::ChildProcess gauge;
    ASSERT_TRUE(gauge.Start(txtest::BinaryPath("gauge-standin"), {}, sandbox.Env()));
    auto written = [&] { return txtest::CountLines(gauge.Stdout(), "GAUGE: display written"); };
    ASSERT_TRUE(txtest::WaitUntil([&] { return written() == 1; }, 30s))
        << gauge.Stdout() << gauge.Stderr();
    const std::string before = txtest::ReadFile(picture);
    EXPECT_EQ(before.substr(0, 4), "\x89PNG");

    logging::LogStream quiet;  // never opened: the client's log lines go nowhere
    mcdupipe::McduPipeClient client(platform::McduPipePath(), quiet);
    ASSERT_TRUE(client.ConnectMcduPipe()) << gauge.Stdout();
    ASSERT_TRUE(client.SendKey(39));
    EXPECT_TRUE(txtest::WaitUntil(
        [&] { return gauge.Stdout().find("GAUGE: code 39 (A)\n") != std::string::npos; }, 10s))
        << gauge.Stdout();
    ASSERT_TRUE(txtest::WaitUntil([&] { return written() == 2; }, 30s)) << gauge.Stdout();
    EXPECT_NE(txtest::ReadFile(picture), before) << "the typed letter is not on the picture";
}

}  // namespace

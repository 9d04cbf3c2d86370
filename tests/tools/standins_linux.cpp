// The stand-ins the program's tests run in place of the simulator and the MCDU gauge, each doing
// the one job those tests rely on: started, reachable, answering the way the program is answered.
// A stand-in broken badly enough to make the program's tests mislead fails its row here.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "log/LogStream.h"
#include "pipe/McduPipeClient.h"
#include "platform/Paths.h"
#include "platform/SimulatorWindow.h"
#include "simconnect/SimConnect.h"
#include "tests/support/SimLibrary.h"
#include "tests/support/SimStandin.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

// sim-standin: its window is up, it opens a client of the program's library, answers the title
// request with its title and takes its control channel's word, here a pause it reports.
void SimulatorAnswersTheLibrary(txtest::Sandbox& sandbox) {
    txtest::SimStandin standin(sandbox);
    ASSERT_TRUE(standin.Start()) << standin.Process().Stderr();
    EXPECT_TRUE(platform::SimulatorWindowExists());
    HANDLE handle = nullptr;
    ASSERT_EQ(txtest::OpenSimLink(&handle), S_OK) << standin.Output();
    SimConnect_AddToDataDefinition(handle, 0, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV, 0,
                                   SIMCONNECT_UNUSED);
    SimConnect_RequestDataOnSimObjectType(handle, 0, 0, 0, SIMCONNECT_SIMOBJECT_TYPE_USER);
    SimConnect_SubscribeToSystemEvent(handle, 4, "Pause");
    ASSERT_TRUE(standin.WaitForOutput("SUBSCRIBE_TO_SYSTEM_EVENT event=4", 5s)) << standin.Output();
    ASSERT_EQ(standin.Command("pause 1"), "ok");

    std::string title;
    bool paused = false;
    txtest::SeenMessages seen;
    txtest::WaitUntil(
        [&] {
            seen.messages.clear();
            EXPECT_EQ(SimConnect_CallDispatch(handle, &txtest::SeenMessages::Record, &seen), S_OK);
            for (auto& message : seen.messages) {
                auto* recv = reinterpret_cast<SIMCONNECT_RECV*>(message.data());
                if (recv->dwID == SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE) {
                    auto* data = reinterpret_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(recv);
                    char* text = nullptr;
                    DWORD length = 0;
                    if (SimConnect_RetrieveString(recv, recv->dwSize, &data->dwData, &text,
                                                  &length) == S_OK)
                        title = text;
                }
                if (recv->dwID == SIMCONNECT_RECV_ID_EVENT) {
                    auto* event = reinterpret_cast<SIMCONNECT_RECV_EVENT*>(recv);
                    paused = paused || (event->uEventID == 4 && event->dwData == 1);
                }
            }
            return !title.empty() && paused;
        },
        5s);
    EXPECT_EQ(title, "Airbus A320 Tarvel");
    EXPECT_TRUE(paused);
    SimConnect_Close(handle);
}

// gauge-standin: it listens on the program's pipe, logs each 2-byte key message the program's
// client sends, and redraws the display picture the remote MCDU page shows.
void GaugeTakesAKeyAndRedraws(txtest::Sandbox& sandbox) {
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

TEST(StandinSmokeTest, EachStandinDoesTheJobTheProgramsTestsRelyOn) {
    const struct {
        const char* name;
        void (*check)(txtest::Sandbox&);
    } rows[] = {
        {"sim-standin", SimulatorAnswersTheLibrary},
        {"gauge-standin", GaugeTakesAKeyAndRedraws},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        txtest::Sandbox sandbox;
        sandbox.Apply();
        row.check(sandbox);
    }
}

}  // namespace

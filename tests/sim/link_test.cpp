// The simulator link against a scripted client library, in a sandbox with its log and a stand-in
// for the program around it: presence check, worker thread, dispatch, flight data, pause and the
// gauge's probe at a flight's start.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "log/Log.h"
#include "sim/LinkHost.h"
#include "sim/SimIds.h"
#include "sim/SimLink.h"
#include "simconnect/Protocol.h"
#include "tests/support/FakeClientLibrary.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr uint32_t kVersion = simconnect::kDefaultProtocol;
constexpr size_t npos = std::string::npos;

std::vector<uint8_t> Event(uint32_t id, uint32_t data) {
    return simconnect::EncodeEvent(kVersion, SIMCONNECT_UNUSED, id, data);
}

std::vector<uint8_t> ObjectData(uint32_t request, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    return simconnect::EncodeSimObjectData(kVersion, 8, request, 1, 1, 0, 1, 1, 9,
                                           std::vector<uint8_t>(bytes, bytes + size));
}

// Counts what the link asks of the program, from whichever thread asks.
struct FakeLinkHost final : sim::LinkHost {
    void SetOnlineLamp(bool online) override { lampOnline = online; }
    void OnSimconnectStarted() override { ++started; }
    void ProbeMcdu() override { ++probes; }

    std::atomic<bool> lampOnline{false};
    std::atomic<int> started{0};
    std::atomic<int> probes{0};
};

class ScriptedLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_sandbox.Apply();
        m_sandbox.CreateSettingsFolder();
        ASSERT_TRUE(logging::LogFile.Open(m_sandbox.LogPath()));
        m_link = std::make_unique<sim::SimLink>(
            m_host, m_sandbox.settings() + "TarvelXConnectExtended.ini");
        m_link->m_pSimApi = &m_api;
        m_link->m_fnSimWindowExists = [this] {
            ++m_windowLookups;
            return m_windowUp.load();
        };
    }
    // What shutdown does for the link.
    void TearDown() override {
        m_link->JoinSimconnectThreads();
        m_link->ClearSimConnect();
        m_link.reset();
        logging::LogFile.Close();
    }

    // The log without the timestamp prefixes, so lines compare as written.
    std::string Log() const {
        static const std::regex prefix(R"(\[[^\]\n]{23}\]: )");
        return std::regex_replace(txtest::ReadLog(m_sandbox.LogPath()), prefix, "");
    }
    int LogCount(const std::string& needle) const { return txtest::CountLines(Log(), needle); }
    bool WaitForLog(const std::string& needle) const {
        return txtest::WaitUntil([&] { return Log().find(needle) != npos; },
                                 std::chrono::seconds(5));
    }
    // True once the link's worker has ended and logged so.
    bool WorkerEnded() {
        return txtest::WaitUntil([&] { return !m_link->IsSimThreadRegistered(); },
                                 std::chrono::seconds(5)) &&
               WaitForLog("SimConnect thread finished.\n");
    }
    // Online as the presence check makes it, with a worker pumping the scripted library. The
    // worker's first dispatch may log before or after the window thread's "FSX online.", so this
    // waits for it: what a case scripts next then logs after both.
    void GoOnline() {
        const size_t before = Log().size();
        m_link->CheckSimPresence();
        ASSERT_TRUE(m_link->IsOnline());
        ASSERT_TRUE(txtest::WaitUntil(
            [&] {
                return Log().find("SimConnect thread started.\n", before) != npos &&
                       Log().find("<CallDispatch>: 0x0.\n", before) != npos;
            },
            std::chrono::seconds(5)))
            << Log();
    }

    txtest::Sandbox m_sandbox;
    FakeLinkHost m_host;
    txtest::FakeClientLibrary m_api;
    std::unique_ptr<sim::SimLink> m_link;
    std::atomic<bool> m_windowUp{true};
    std::atomic<int> m_windowLookups{0};
};

TEST_F(ScriptedLinkTest, OfflineTicksOnlyTryToConnectAndOnlineTicksOnlyLookForTheWindow) {
    m_api.m_openResult = E_FAIL;
    for (int i = 0; i < 3; ++i) m_link->CheckSimPresence();
    EXPECT_EQ(m_windowLookups, 0);
    EXPECT_EQ(Log(), "") << "a failed open logs nothing";
    m_api.m_openResult = S_OK;
    GoOnline();
    EXPECT_TRUE(m_host.lampOnline);
    EXPECT_EQ(m_host.started, 1) << "the program hears of the worker, for the server that waits";
    for (int i = 0; i < 3; ++i) m_link->CheckSimPresence();
    EXPECT_EQ(m_api.Count("Open"), 4);
    EXPECT_EQ(m_windowLookups, 3);
    EXPECT_EQ(m_api.Count("RequestByType 0 0 0 0"), 1) << "the title, once";
    // A pause goes out as PAUSE_ON, a resume as PAUSE_OFF, at the highest priority.
    m_link->PauseSim(true);
    m_link->PauseSim(false);
    EXPECT_NE(m_api.Calls().find("|Transmit h0 0 3 0 1 16|Transmit h0 0 2 0 1 16|"), npos);

    m_windowUp = false;
    m_link->CheckSimPresence();
    EXPECT_FALSE(m_link->IsOnline());
    EXPECT_FALSE(m_host.lampOnline);
    EXPECT_EQ(m_link->GetSimConnectHandle(), nullptr);
    EXPECT_EQ(m_api.Count("Close h0"), 1);
    EXPECT_NE(Log().find("FSX offline.\nCloseSimconnectThread...\n"), npos) << Log();

    // No window of a simulator on another machine is seen here: its connection's end counts.
    m_api.m_remote = true;
    GoOnline();
    m_link->CheckSimPresence();
    EXPECT_TRUE(m_link->IsOnline()) << "an open connection keeps it online";
    m_api.Script({SIMCONNECT_STATUS_PIPE_DISCONNECTED});
    ASSERT_TRUE(WorkerEnded());
    m_link->CheckSimPresence();
    EXPECT_FALSE(m_link->IsOnline());
    EXPECT_EQ(m_windowLookups, 4);
}

TEST_F(ScriptedLinkTest, SetUpDeclaresBothDefinitionsTheEventsAndThePeriodicRequestOnlyWhenAsked) {
    const std::pair<const char*, const char*> cases[] = {
        {nullptr, ""},  // no INI file at all
        {"[Common]\nDataRequestPeriod=-3\n", ""},
        {"[common]\n dataRequestPeriod = 1 \n", "Request 1 1 0 4 0 0 1 0|"}};
    const std::string definitions =
        "Open QUENNICK TARVELX CONNECT 0|Add 0 TITLE - 11|Add 1 AIRSPEED INDICATED Knots 4|"
        "Add 1 AIRSPEED MACH Mach 4|Add 1 Indicated Altitude feet 4|Add 1 HEADING INDICATOR "
        "Radians 4|Add 1 GPS WP DISTANCE Meters 4|Add 1 FUEL TOTAL QUANTITY WEIGHT Pounds 4|Add 1 "
        "GPS GROUND SPEED Meters per second 4|Add 1 GPS WP VERTICAL SPEED Meters per second 4|"
        "Add 1 GPS WP NEXT ID - 5|";
    for (const auto& [ini, request] : cases) {
        if (ini != nullptr) m_sandbox.WriteIni(ini);
        txtest::FakeClientLibrary api;
        m_link->m_pSimApi = &api;
        ASSERT_TRUE(m_link->StartSimconnectThread());
        m_link->CloseSimconnectThread();
        EXPECT_EQ(api.Calls(),
                  definitions + request +
                      "Map 2 PAUSE_OFF|Map 3 PAUSE_ON|Subscribe 0 SimStart|Subscribe 4 Pause|"
                      "Subscribe 1 AircraftLoaded|Close h1|");
    }
    m_link->m_pSimApi = &m_api;
}

TEST_F(ScriptedLinkTest, EachFailureResultEndsTheWorkerAndClosesItsConnection) {
    m_link->CloseSimconnectThread();
    EXPECT_EQ(Log(), "") << "a stop made while no worker runs is not left for the next one";
    const std::pair<std::vector<txtest::FakeClientLibrary::Step>, std::string> cases[] = {
        {{SIMCONNECT_STATUS_PIPE_DISCONNECTED}, "0xC00000B0.\nPossibly sim closed, exiting too.\n"},
        {{SIMCONNECT_STATUS_PIPE_BROKEN}, "0xC000014B.\nPossibly sim crashed, exiting too.\n"},
        {{SIMCONNECT_STATUS_CONNECTION_RESET}, "0xC000020D.\nPossibly sim crashed, exiting too.\n"},
        {{SIMCONNECT_E_MALFORMED_FRAME}, "0x8007000D.\nUnknown HRESULT: 0x8007000D, exiting.\n"},
        {{E_FAIL}, "0x80004005.\nUnknown HRESULT: 0x80004005, exiting.\n"},
        // Only a changed result is logged, 0 and 1 keep the worker running, and a quit ends it
        // within its pass without waiting for itself.
        {{S_OK, S_FALSE, S_FALSE, S_OK, S_OK, simconnect::EncodeQuit(kVersion)},
         "0x1.\n<CallDispatch>: 0x0.\nCloseSimconnectThread...\n"
         "CloseSimconnectThread complete\n[Event]: Sim quit.\n"},
    };
    for (const auto& [steps, lines] : cases) {
        GoOnline();
        // Scripted only now, so that no line of the window thread falls between the worker's.
        m_api.Script(steps);
        ASSERT_TRUE(WaitForLog("<CallDispatch>: " + lines +
                               "Connection closed: 0.\nSimConnect thread finished.\n"))
            << Log();
        ASSERT_TRUE(WorkerEnded());
        EXPECT_FALSE(m_link->IsStopRequested()) << "the ended worker consumed its stop";
        // The window is still up: the link stays online, and a pause reaches no simulator.
        m_link->CheckSimPresence();
        EXPECT_TRUE(m_link->IsOnline());
        m_link->PauseSim(true);
        m_windowUp = false;
        m_link->CheckSimPresence();
        m_windowUp = true;
    }
    EXPECT_EQ(m_api.Count("Close "), 6);
    EXPECT_EQ(m_api.Count("Transmit"), 0);
    m_link->CloseSimconnectThread();
    EXPECT_EQ(LogCount("CloseSimconnectThread..."), 1) << "a later stop finds no worker";
}

// The simulator quits and the program stops a moment later, as at a logoff: the worker has let
// go of its registration but still runs its last lines. The link must not go before it has ended.
TEST_F(ScriptedLinkTest, AWorkerThatStoppedItselfIsJoinedBeforeTheLinkGoes) {
    static std::atomic<bool> ended;
    ended = false;
    m_link->m_fnStartSimThread = [](std::function<void()> body) {
        return platform::WorkerThread::Start([body = std::move(body)] {
            body();
            // Held past its own stop, so that a shutdown which does not wait for it goes first.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ended = true;
        });
    };
    GoOnline();
    m_api.Script({simconnect::EncodeQuit(kVersion)});
    ASSERT_TRUE(WaitForLog("[Event]: Sim quit.\n"));
    EXPECT_FALSE(m_link->IsSimThreadRegistered());
    m_link->JoinSimconnectThreads();
    EXPECT_TRUE(ended) << "shutdown went on while the worker still ran";
    EXPECT_EQ(LogCount("CloseSimconnectThread..."), 1) << "the stopped worker is not stopped again";
    m_link.reset();
    EXPECT_TRUE(ended);
    m_link = std::make_unique<sim::SimLink>(m_host, "");
}

TEST_F(ScriptedLinkTest, EachMessageGivesItsLinesAndThePauseFollowsTheReportedState) {
    sim::FlightData flight{-9.9,     0.78,   35000, 1.5707963267948966, 1852, 12345.6,
                           0.514444, -3.048, {}};
    std::memcpy(flight.nextWpId, "ABCDEFGH", 8);
    sim::FlightData hostile = flight;
    hostile.ias = std::nan("");
    hostile.altitude = 1e300;
    hostile.heading = -1e300;
    auto shortEvent = Event(sim::EVENT_PAUSE_STATE, 1);
    shortEvent.resize(16);
    // Each message, the lines it gives and whether the simulator counts as paused after it.
    const std::tuple<std::vector<uint8_t>, std::string, bool> cases[] = {
        {Event(sim::EVENT_PAUSE_STATE, 1), "[Event]: Sim pause state: 1.\n", true},
        {shortEvent, "Short message dropped: dwID=4, cbData=16.\n", true},
        {Event(sim::EVENT_PAUSE_STATE, 0), "[Event]: Sim pause state: 0.\n", false},
        {Event(sim::EVENT_PAUSE_STATE, 1), "[Event]: Sim pause state: 1.\n", true},
        {Event(sim::EVENT_PAUSE_STATE, 2), "[Event]: Sim pause state: 2.\n", false},
        {Event(9, 1), "Unknown event: 9\n", false},
        {simconnect::EncodeRawMessage(kVersion, 42, {}), "Received:42\n", false},
        {simconnect::EncodeEventFilename(kVersion, 0, 7, 0, "other.cfg", 0), "", false},
        {simconnect::EncodeEventFilename(kVersion, 0, sim::EVENT_PLANE_LOADED, 0, "plane b.cfg", 0),
         "[Event]: EVENT_PLANE_LOADED: plane b.cfg.\n", false},
        {simconnect::EncodeException(kVersion, 3, 5, 2),
         "***** EXCEPTION=3; SendID=5; Index=2; cbData=24\n", false},
        {simconnect::EncodeOpen(kVersion, {"Sim", 10, 0, 61259, 0, 10, 0, 61259, 1}),
         "Open: AppName=\"Sim\"  AppVersion=10.0.61259.0  SimConnectVersion=10.0.61259.1\n", false},
        {ObjectData(sim::REQUEST_TITLE, "A320", 5), "[Event]: Title received: A320; \n", false},
        {ObjectData(sim::REQUEST_TITLE, "", 1), "\nCouldn't retrieve the AC title.", false},
        {ObjectData(sim::REQUEST_FLIGHT_DATA, &flight, 40),
         "Short message dropped: dwID=8, cbData=80.\n", false},
        {ObjectData(sim::REQUEST_FLIGHT_DATA, &hostile, sizeof(hostile)),
         "[Event]: Flight data received: IAS=0 Kts; Mach=0.78 M; Alt=2147483647 Ft; "
         "Hdg=-2147483648; Distance=1.00 NM; CurrentFuelTotal=12345 LBS; Ground speed=1 Kts; "
         "Vert speed=-10.00 feet/sec; NextWP=ABCDEFGH.\n",
         false},
        {ObjectData(sim::REQUEST_FLIGHT_DATA, &flight, sizeof(flight)),
         "[Event]: Flight data received: IAS=-9 Kts; Mach=0.78 M; Alt=35000 Ft; Hdg=90; ", false},
        {Event(sim::EVENT_SIM_START, 0), "[Event]: Sim start.\n", false},
    };
    // A worker started without the presence check: the link is not online, a flight's start is
    // only logged.
    ASSERT_TRUE(m_link->StartSimconnectThread());
    m_api.Script({Event(sim::EVENT_SIM_START, 0)});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(m_host.probes, 0);
    m_link->CheckSimPresence();
    // The online worker's first pass has logged its result: nothing else comes between the lines.
    ASSERT_TRUE(txtest::WaitUntil([&] { return LogCount("<CallDispatch>: 0x0.") == 2; },
                                  std::chrono::seconds(5)));
    for (const auto& [message, lines, paused] : cases) {
        SCOPED_TRACE(lines);
        const size_t before = Log().size();
        m_api.Script({message});
        ASSERT_TRUE(m_api.WaitIdle());
        EXPECT_EQ(Log().substr(before, lines.size()), lines);
        EXPECT_EQ(m_link->IsPaused(), paused);
    }
    EXPECT_EQ(m_host.probes, 1) << "the gauge is probed at a flight's start while online";
    sim::FlightData kept{};
    m_link->GetFlightData(kept);
    EXPECT_EQ(std::memcmp(&kept, &flight, sizeof(kept)), 0);
    // Once the handle is cleared nothing from the simulator counts, and no pause is sent.
    const std::string log = Log();
    m_link->ClearSimConnect();
    m_api.Script({Event(sim::EVENT_PAUSE_STATE, 1), Event(9, 0), simconnect::EncodeQuit(kVersion)});
    ASSERT_TRUE(m_api.WaitIdle());
    m_link->PauseSim(true);
    EXPECT_EQ(Log(), log + "Sim paused.\n");
    EXPECT_EQ(m_api.Count("Transmit"), 0);
}

}  // namespace

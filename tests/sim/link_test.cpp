// The simulator link against a scripted double of the client library: presence check, worker
// thread, dispatch, flight data, pause and the gauge's probe at a flight's start. (Against the
// stand-in as a separate process: simlink_standin_test.cpp.)

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "log/Log.h"
#include "platform/Mutex.h"
#include "sim/ClientLibrary.h"
#include "sim/SimIds.h"
#include "simconnect/Protocol.h"
#include "tests/support/SimLinkTest.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using txtest::SimLinkTest;

// A stand-in for the client library, driven by the test: each dispatch call takes the next
// scripted step (a result, or a message to deliver); with nothing scripted it returns S_OK.
class ScriptedSimApi : public sim::ClientLibrary {
  public:
    using Step = std::variant<HRESULT, std::vector<uint8_t>>;

    HRESULT Open(HANDLE* phSimConnect, LPCSTR szName, HWND, DWORD, HANDLE, DWORD) override {
        platform::MutexLock lock(m_mutex);
        ++m_opens;
        m_calls.push_back(std::string("Open ") + szName);
        if (m_openResult < 0) return m_openResult;
        *phSimConnect = &m_handles[m_opens % 2];
        return S_OK;
    }
    HRESULT Close(HANDLE handle) override { return Record("Close " + Name(handle)); }
    HRESULT AddToDataDefinition(HANDLE, SIMCONNECT_DATA_DEFINITION_ID id, const char* datum,
                                const char* unit, SIMCONNECT_DATATYPE type, float epsilon,
                                DWORD datumId) override {
        return Record("Add " + std::to_string(id) + " " + datum + " " + (unit ? unit : "(none)") +
                      " " + std::to_string(type) + " " + std::to_string(epsilon) + " " +
                      std::to_string(datumId));
    }
    HRESULT RequestDataOnSimObject(HANDLE, SIMCONNECT_DATA_REQUEST_ID request,
                                   SIMCONNECT_DATA_DEFINITION_ID define,
                                   SIMCONNECT_OBJECT_ID object, SIMCONNECT_PERIOD period,
                                   SIMCONNECT_DATA_REQUEST_FLAG flags, DWORD origin, DWORD interval,
                                   DWORD limit) override {
        return Record("Request " +
                      Join({request, define, object, period, flags, origin, interval, limit}));
    }
    HRESULT RequestDataOnSimObjectType(HANDLE, SIMCONNECT_DATA_REQUEST_ID request,
                                       SIMCONNECT_DATA_DEFINITION_ID define, DWORD radius,
                                       SIMCONNECT_SIMOBJECT_TYPE type) override {
        return Record("RequestByType " + Join({request, define, radius, type}));
    }
    HRESULT MapClientEventToSimEvent(HANDLE, SIMCONNECT_CLIENT_EVENT_ID id,
                                     const char* name) override {
        return Record("Map " + std::to_string(id) + " " + name);
    }
    HRESULT SubscribeToSystemEvent(HANDLE, SIMCONNECT_CLIENT_EVENT_ID id,
                                   const char* name) override {
        return Record("Subscribe " + std::to_string(id) + " " + name);
    }
    HRESULT TransmitClientEvent(HANDLE handle, SIMCONNECT_OBJECT_ID object,
                                SIMCONNECT_CLIENT_EVENT_ID event, DWORD data,
                                SIMCONNECT_NOTIFICATION_GROUP_ID group,
                                SIMCONNECT_EVENT_FLAG flags) override {
        return Record("Transmit " + Name(handle) + " " + Join({object, event, data, group, flags}));
    }
    HRESULT CallDispatch(HANDLE, DispatchProc proc, void* context) override {
        Step step = S_OK;
        {
            platform::MutexLock lock(m_mutex);
            ++m_dispatches;
            if (!m_script.empty()) {
                step = std::move(m_script.front());
                m_script.pop_front();
            }
        }
        HRESULT result = S_OK;
        if (auto* message = std::get_if<std::vector<uint8_t>>(&step)) {
            // Delivered from an 8-byte aligned copy, as the library does.
            std::vector<uint64_t> aligned((message->size() + 7) / 8 + 40, 0);
            std::memcpy(aligned.data(), message->data(), message->size());
            proc(reinterpret_cast<SIMCONNECT_RECV*>(aligned.data()),
                 static_cast<DWORD>(message->size()), context);
        } else {
            result = std::get<HRESULT>(step);
        }
        {
            platform::MutexLock lock(m_mutex);
            ++m_stepsDone;
        }
        return result;
    }
    HRESULT RetrieveString(SIMCONNECT_RECV* pData, DWORD cbData, void* pStringV, char** ppStringV,
                           DWORD* pcbStringV) override {
        return SimConnect_RetrieveString(pData, cbData, pStringV, ppStringV, pcbStringV);
    }
    bool ServerOnThisMachine(HANDLE) override { return m_onThisMachine; }
    // The simulator plays one on another machine.
    void SetRemote() { m_onThisMachine = false; }

    void Script(std::vector<Step> steps) {
        platform::MutexLock lock(m_mutex);
        for (auto& step : steps) m_script.push_back(std::move(step));
    }
    bool ScriptDone() {
        platform::MutexLock lock(m_mutex);
        return m_script.empty();
    }
    // Waits until the script is used up and one more dispatch call has ended after it.
    bool WaitIdle() {
        int mark = 0;
        if (!txtest::WaitUntil([&] { return ScriptDone(); }, 5s)) return false;
        {
            platform::MutexLock lock(m_mutex);
            mark = m_stepsDone;
        }
        return txtest::WaitUntil(
            [&] {
                platform::MutexLock lock(m_mutex);
                return m_stepsDone > mark + 1;
            },
            5s);
    }
    std::vector<std::string> Calls() {
        platform::MutexLock lock(m_mutex);
        return m_calls;
    }
    int CountCalls(const std::string& prefix) {
        int count = 0;
        for (const auto& call : Calls())
            if (call.rfind(prefix, 0) == 0) ++count;
        return count;
    }
    int Opens() {
        platform::MutexLock lock(m_mutex);
        return m_opens;
    }
    int Dispatches() {
        platform::MutexLock lock(m_mutex);
        return m_dispatches;
    }
    void SetOpenResult(HRESULT result) {
        platform::MutexLock lock(m_mutex);
        m_openResult = result;
    }
    std::string Name(HANDLE handle) {
        return handle == &m_handles[0] ? "h0" : handle == &m_handles[1] ? "h1" : "h?";
    }

  private:
    HRESULT Record(const std::string& call) {
        platform::MutexLock lock(m_mutex);
        m_calls.push_back(call);
        return S_OK;
    }
    static std::string Join(std::initializer_list<DWORD> values) {
        std::string text;
        for (DWORD value : values) text += (text.empty() ? "" : " ") + std::to_string(value);
        return text;
    }

    platform::Mutex m_mutex;
    int m_handles[2] = {};  // fixed: only their addresses are handed out
    int m_opens GUARDED_BY(m_mutex) = 0;
    int m_dispatches GUARDED_BY(m_mutex) = 0;
    int m_stepsDone GUARDED_BY(m_mutex) = 0;
    HRESULT m_openResult GUARDED_BY(m_mutex) = S_OK;
    std::atomic<bool> m_onThisMachine{true};
    std::deque<Step> m_script GUARDED_BY(m_mutex);
    std::vector<std::string> m_calls GUARDED_BY(m_mutex);
};

constexpr uint32_t kVersion = simconnect::kDefaultProtocol;

std::vector<uint8_t> Event(uint32_t id, uint32_t data) {
    return simconnect::EncodeEvent(kVersion, SIMCONNECT_UNUSED, id, data);
}

// ---- With the scripted library ------------------------------------------------------------------

class ScriptedLinkTest : public SimLinkTest {
  protected:
    void SetUp() override {
        SimLinkTest::SetUp();
        m_link->m_pSimApi = &m_api;
        m_link->m_fnSimWindowExists = [this] {
            ++m_windowLookups;
            return m_windowUp.load();
        };
    }
    // Online as the presence check makes it, with a worker pumping the scripted library.
    void GoOnline() {
        m_link->CheckSimPresence();
        ASSERT_TRUE(m_link->IsOnline());
        ASSERT_TRUE(WaitForLog("SimConnect thread started.\n"));
    }

    ScriptedSimApi m_api;
    std::atomic<bool> m_windowUp{true};
    std::atomic<int> m_windowLookups{0};
};

TEST_F(ScriptedLinkTest, OfflineTicksOnlyTryToConnectAndOnlineTicksOnlyLookForTheWindow) {
    m_api.SetOpenResult(E_FAIL);
    for (int i = 0; i < 3; ++i) m_link->CheckSimPresence();
    EXPECT_EQ(m_api.Opens(), 3);
    EXPECT_EQ(m_windowLookups, 0);
    EXPECT_FALSE(m_link->IsOnline());
    EXPECT_EQ(Log(), "") << "a failed open logs nothing";

    m_api.SetOpenResult(S_OK);
    GoOnline();
    for (int i = 0; i < 3; ++i) m_link->CheckSimPresence();
    EXPECT_EQ(m_api.Opens(), 4);
    EXPECT_EQ(m_windowLookups, 3);
    EXPECT_EQ(m_api.CountCalls("RequestByType 0 0 0 0"), 1);

    m_windowUp = false;
    m_link->CheckSimPresence();
    EXPECT_FALSE(m_link->IsOnline());
    EXPECT_EQ(m_link->GetSimConnectHandle(), nullptr);
    EXPECT_FALSE(m_link->IsSimThreadRegistered());
    EXPECT_EQ(m_api.CountCalls("Close h0"), 1);
    const std::string log = Log();
    EXPECT_LT(log.find("FSX offline.\n"), log.find("CloseSimconnectThread...\n"));
    EXPECT_LT(log.find("CloseSimconnectThread...\n"), log.find("CloseSimconnectThread complete\n"));
}

TEST_F(ScriptedLinkTest, ALinkToAnotherMachineGoesOfflineWhenItsConnectionEndsNotByAWindow) {
    m_api.SetRemote();
    m_windowUp = false;  // no window of a simulator elsewhere is ever seen here
    GoOnline();
    for (int i = 0; i < 3; ++i) m_link->CheckSimPresence();
    EXPECT_TRUE(m_link->IsOnline()) << "an open connection keeps it online";
    EXPECT_EQ(m_windowLookups, 0);
    EXPECT_EQ(m_api.Opens(), 1);

    // The simulator goes away: the worker ends with the dispatch result, and the next tick
    // takes the link offline; the one after that tries to open it again.
    m_api.Script({SIMCONNECT_STATUS_PIPE_DISCONNECTED});
    ASSERT_TRUE(WorkerEnded());
    EXPECT_TRUE(m_link->IsOnline()) << "until the next tick";
    m_link->CheckSimPresence();
    EXPECT_FALSE(m_link->IsOnline());
    EXPECT_EQ(m_link->GetSimConnectHandle(), nullptr);
    EXPECT_EQ(m_windowLookups, 0);
    m_api.SetOpenResult(E_FAIL);
    m_link->CheckSimPresence();
    EXPECT_EQ(m_api.Opens(), 2);
    const std::string log = Log();
    EXPECT_LT(log.find("Possibly sim closed, exiting too.\n"), log.find("FSX offline.\n"));
}

TEST_F(ScriptedLinkTest, SetUpDeclaresBothDefinitionsTheEventsAndThePeriodicRequestOnlyWhenAsked) {
    struct Case {
        const char* ini;  // null: no INI file at all
        int requests;
    };
    const Case cases[] = {{nullptr, 0},
                          {"[Common]\nLogging=1\n", 0},
                          {"[Common]\nDataRequestPeriod=0\n", 0},
                          {"[Common]\nDataRequestPeriod=-3\n", 0},
                          {"[common]\n dataRequestPeriod = 1 \n", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini ? c.ini : "(no INI)");
        if (c.ini != nullptr) m_sandbox.WriteIni(c.ini);
        ScriptedSimApi api;
        m_link->m_pSimApi = &api;
        ASSERT_TRUE(m_link->StartSimconnectThread());
        EXPECT_EQ(api.CountCalls("Request 1 1 0 4 0 0 1 0"), c.requests);
        EXPECT_EQ(api.CountCalls("Request "), c.requests);
        m_link->CloseSimconnectThread();
        const std::vector<std::string> calls = api.Calls();
        const std::vector<std::string> expected = {
            "Open QUENNICK TARVELX CONNECT",
            "Add 0 TITLE (none) 11 0.000000 4294967295",
            "Add 1 AIRSPEED INDICATED Knots 4 0.000000 4294967295",
            "Add 1 AIRSPEED MACH Mach 4 0.000000 4294967295",
            "Add 1 Indicated Altitude feet 4 0.000000 4294967295",
            "Add 1 HEADING INDICATOR Radians 4 0.000000 4294967295",
            "Add 1 GPS WP DISTANCE Meters 4 0.000000 4294967295",
            "Add 1 FUEL TOTAL QUANTITY WEIGHT Pounds 4 0.000000 4294967295",
            "Add 1 GPS GROUND SPEED Meters per second 4 0.000000 4294967295",
            "Add 1 GPS WP VERTICAL SPEED Meters per second 4 0.000000 4294967295",
            "Add 1 GPS WP NEXT ID (none) 5 0.000000 4294967295"};
        ASSERT_GE(calls.size(), expected.size() + 5);
        for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(calls[i], expected[i]);
        const size_t map = expected.size() + c.requests;
        EXPECT_EQ(calls[map], "Map 2 PAUSE_OFF");
        EXPECT_EQ(calls[map + 1], "Map 3 PAUSE_ON");
        EXPECT_EQ(calls[map + 2], "Subscribe 0 SimStart");
        EXPECT_EQ(calls[map + 3], "Subscribe 4 Pause");
        EXPECT_EQ(calls[map + 4], "Subscribe 1 AircraftLoaded");
        m_link->m_pSimApi = &m_api;
    }
}

TEST_F(ScriptedLinkTest, OnlyChangedDispatchResultsAreLogged) {
    m_api.Script({S_OK, S_OK, S_FALSE, S_FALSE, S_OK});
    GoOnline();
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("<CallDispatch>:"), 3);
    EXPECT_EQ(LogCount("<CallDispatch>: 0x0.\n"), 2);
    EXPECT_EQ(LogCount("<CallDispatch>: 0x1.\n"), 1);
    EXPECT_TRUE(m_link->IsSimThreadRegistered()) << "0 and 1 keep the worker running";
}

TEST_F(ScriptedLinkTest, EachFailureResultEndsTheWorkerAndClosesItsConnection) {
    const std::vector<std::pair<HRESULT, std::string>> cases = {
        {SIMCONNECT_STATUS_PIPE_DISCONNECTED,
         "<CallDispatch>: 0xC00000B0.\nPossibly sim closed, exiting too.\n"},
        {SIMCONNECT_STATUS_PIPE_BROKEN,
         "<CallDispatch>: 0xC000014B.\nPossibly sim crashed, exiting too.\n"},
        {SIMCONNECT_STATUS_CONNECTION_RESET,
         "<CallDispatch>: 0xC000020D.\nPossibly sim crashed, exiting too.\n"},
        {SIMCONNECT_E_MALFORMED_FRAME,
         "<CallDispatch>: 0x8007000D.\nUnknown HRESULT: 0x8007000D, exiting.\n"},
        {E_FAIL, "<CallDispatch>: 0x80004005.\nUnknown HRESULT: 0x80004005, exiting.\n"},
    };
    int closes = 0;
    for (const auto& [result, lines] : cases) {
        SCOPED_TRACE(lines);
        logging::LogFile.Open(m_sandbox.LogPath());
        GoOnline();
        // Scripted only now, so that no line of the window thread falls between the worker's.
        m_api.Script({result});
        ASSERT_TRUE(WorkerEnded());
        const std::string log = Log();
        EXPECT_NE(log.find(lines + "Connection closed: 0.\nSimConnect thread finished.\n"),
                  std::string::npos)
            << log;
        EXPECT_EQ(m_api.CountCalls("Close "), ++closes);
        EXPECT_FALSE(m_link->IsStopRequested()) << "the ended worker consumed its stop";
        // The window is still up: the link stays online, and a pause reaches no simulator.
        m_link->CheckSimPresence();
        EXPECT_TRUE(m_link->IsOnline());
        const int transmits = m_api.CountCalls("Transmit");
        m_link->PauseSim(true);
        EXPECT_EQ(m_api.CountCalls("Transmit"), transmits);
        EXPECT_EQ(LogCount("Sim paused.\n"), 1);
        // Offline again, as the window's going takes it, for the next case.
        m_windowUp = false;
        m_link->CheckSimPresence();
        ASSERT_FALSE(m_link->IsOnline());
        m_windowUp = true;
    }
}

TEST_F(ScriptedLinkTest, QuitEndsTheWorkerWithinOnePassWithoutWaitingForItself) {
    GoOnline();
    // The quit must come in a later pass than the first, whose result line it would otherwise
    // precede.
    ASSERT_TRUE(WaitForLog("<CallDispatch>: 0x0.\n"));
    const auto start = std::chrono::steady_clock::now();
    m_api.Script({simconnect::EncodeQuit(kVersion)});
    ASSERT_TRUE(WorkerEnded());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_NE(Log().find("CloseSimconnectThread...\nCloseSimconnectThread complete\n"
                         "[Event]: Sim quit.\nConnection closed: 0.\n"
                         "SimConnect thread finished.\n"),
              std::string::npos)
        << Log();
    EXPECT_EQ(LogCount("<CallDispatch>"), 1) << "the quit pass returned 0 like the ones before";
    EXPECT_EQ(m_api.CountCalls("Close "), 1);
    // A later stop finds no worker: nothing to wait for, nothing logged.
    m_link->CloseSimconnectThread();
    EXPECT_EQ(LogCount("CloseSimconnectThread..."), 1);
}

TEST_F(ScriptedLinkTest, AStopWithoutAWorkerDoesNotStopTheNextOne) {
    m_link->CloseSimconnectThread();
    EXPECT_EQ(Log(), "");
    GoOnline();
    const int before = m_api.Dispatches();
    EXPECT_TRUE(txtest::WaitUntil([&] { return m_api.Dispatches() > before + 20; }, 5s));
    EXPECT_TRUE(m_link->IsSimThreadRegistered());
}

TEST_F(ScriptedLinkTest, AWorkerThatCannotStartGetsItsConnectionClosed) {
    m_link->m_pStartSimThread = [](std::function<void()>) {
        return std::unique_ptr<platform::WorkerThread>();
    };
    EXPECT_FALSE(m_link->StartSimconnectThread());
    EXPECT_EQ(m_api.CountCalls("Close h1"), 1);
    EXPECT_EQ(m_host.started, 0) << "nothing may count on a link without a worker";
    EXPECT_NE(Log().find("Starting the SimConnect thread...\nSimConnect thread couldn't start!\n"),
              std::string::npos);
    m_link->PauseSim(true);
    EXPECT_EQ(m_api.CountCalls("Transmit"), 0) << "the closed connection is not used";

    m_link->m_pStartSimThread = &platform::WorkerThread::Start;
    m_link->CheckSimPresence();
    EXPECT_TRUE(m_link->IsOnline());
    EXPECT_EQ(m_api.Opens(), 2) << "the next attempt opens a new connection";
    EXPECT_EQ(m_host.started, 1);
    m_link->PauseSim(false);
    EXPECT_EQ(m_api.CountCalls("Transmit h0 0 2 0 1 16"), 1);
}

TEST_F(ScriptedLinkTest, AStartWhileAWorkerIsRegisteredStopsThatOneFirst) {
    GoOnline();
    ASSERT_TRUE(m_link->StartSimconnectThread());
    const std::string log = Log();
    // The old worker ends (and closes its connection) inside the wait.
    EXPECT_NE(
        log.find("CloseSimconnectThread...\nConnection closed: 0.\nSimConnect thread finished.\n"
                 "CloseSimconnectThread complete\nPrevious thread closed.\n"
                 "Starting the SimConnect thread...\n"),
        std::string::npos)
        << log;
    EXPECT_EQ(m_api.CountCalls("Close h1"), 1);
    EXPECT_TRUE(txtest::WaitUntil([&] { return LogCount("SimConnect thread started.") == 2; }, 5s));
    EXPECT_TRUE(m_link->IsSimThreadRegistered());
}

TEST_F(ScriptedLinkTest, MessagesAfterTheHandleWasClearedAreDroppedSilently) {
    GoOnline();
    m_api.Script({simconnect::EncodeRawMessage(kVersion, 5, {})});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("Received:5\n"), 1);
    m_link->ClearSimConnect();
    m_api.Script({simconnect::EncodeRawMessage(kVersion, 5, {}), Event(9, 0),
                  simconnect::EncodeQuit(kVersion)});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("Received:5\n"), 1);
    EXPECT_EQ(LogCount("Unknown event"), 0);
    EXPECT_EQ(LogCount("Sim quit"), 0);
    m_link->PauseSim(true);
    EXPECT_EQ(m_api.CountCalls("Transmit"), 0);
}

TEST_F(ScriptedLinkTest, MessagesTooShortForTheirKindAreDroppedWithALine) {
    GoOnline();
    auto shortEvent = Event(4, 1);
    shortEvent.resize(16);
    auto shortData = simconnect::EncodeSimObjectData(kVersion, 8, sim::REQUEST_FLIGHT_DATA, 1, 1, 0,
                                                     1, 1, 9, std::vector<uint8_t>(40, 0));
    m_api.Script({shortEvent, shortData});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("Short message dropped: dwID=4, cbData=16.\n"), 1);
    EXPECT_EQ(LogCount("Short message dropped: dwID=8, cbData=80.\n"), 1);
    EXPECT_FALSE(m_link->IsPaused());
    EXPECT_EQ(LogCount("Flight data received"), 0);
}

TEST_F(ScriptedLinkTest, HostileFlightValuesGiveDefinedLogPieces) {
    GoOnline();
    sim::FlightData record{};
    record.ias = std::nan("");
    record.altitude = 1e300;
    record.heading = -1e300;
    std::memcpy(record.nextWpId, "ABCDEFGH", 8);
    std::vector<uint8_t> bytes(sizeof(record));
    std::memcpy(bytes.data(), &record, sizeof(record));
    m_api.Script({simconnect::EncodeSimObjectData(kVersion, 8, sim::REQUEST_FLIGHT_DATA, 1, 1, 0, 1,
                                                  1, 9, bytes)});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("IAS=0 Kts; Mach=0.00 M; Alt=2147483647 Ft; Hdg=-2147483648; "), 1) << Log();
}

TEST_F(ScriptedLinkTest, AFlightStartProbesTheGaugeOnlyWhileTheLinkIsOnline) {
    // A worker started without the presence check: the link is not online, the start is only
    // logged.
    ASSERT_TRUE(m_link->StartSimconnectThread());
    m_api.Script({Event(sim::EVENT_SIM_START, 0)});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("[Event]: Sim start.\n"), 1);
    EXPECT_EQ(m_host.probes, 0);

    GoOnline();
    m_api.Script({Event(sim::EVENT_SIM_START, 0)});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("[Event]: Sim start.\n"), 2);
    EXPECT_EQ(m_host.probes, 1);
    EXPECT_EQ(m_host.started, 2) << "each worker that started was reported";
}

}  // namespace

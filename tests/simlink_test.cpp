// The simulator link of the main window: presence check, worker thread, dispatch, flight data and
// pause, against the stand-in as a separate process and against a scripted double of the library.

#include <SDL.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "app/TarvelXConnectDlg.h"
#include "log/Log.h"
#include "sim/SimConnectApi.h"
#include "sim/SimIds.h"
#include "sim/SimProtocol.h"
#include "tests/support/SimStandin.h"
#include "tests/support/TestSupport.h"
#include "ui/sdl/SdlMainWindowView.h"
#include "web/WebServer.h"

namespace {

using namespace std::chrono_literals;

// A stand-in for the client library, driven by the test: each dispatch call takes the next
// scripted step (a result, or a message to deliver); with nothing scripted it returns S_OK.
class ScriptedSimApi : public SimConnectApi {
  public:
    using Step = std::variant<HRESULT, std::vector<uint8_t>>;

    HRESULT Open(HANDLE* phSimConnect, LPCSTR szName, HWND, DWORD, HANDLE, DWORD) override {
        std::lock_guard<std::mutex> lock(m_mutex);
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
            std::lock_guard<std::mutex> lock(m_mutex);
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
            std::lock_guard<std::mutex> lock(m_mutex);
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
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& step : steps) m_script.push_back(std::move(step));
    }
    bool ScriptDone() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_script.empty();
    }
    // Waits until the script is used up and one more dispatch call has ended after it.
    bool WaitIdle() {
        int mark = 0;
        if (!txtest::WaitUntil([&] { return ScriptDone(); }, 5s)) return false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            mark = m_stepsDone;
        }
        return txtest::WaitUntil(
            [&] {
                std::lock_guard<std::mutex> lock(m_mutex);
                return m_stepsDone > mark + 1;
            },
            5s);
    }
    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    int CountCalls(const std::string& prefix) {
        int count = 0;
        for (const auto& call : Calls())
            if (call.rfind(prefix, 0) == 0) ++count;
        return count;
    }
    int Opens() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_opens;
    }
    int Dispatches() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_dispatches;
    }
    void SetOpenResult(HRESULT result) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_openResult = result;
    }
    std::string Name(HANDLE handle) {
        return handle == &m_handles[0] ? "h0" : handle == &m_handles[1] ? "h1" : "h?";
    }

  private:
    HRESULT Record(const std::string& call) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back(call);
        return S_OK;
    }
    static std::string Join(std::initializer_list<DWORD> values) {
        std::string text;
        for (DWORD value : values) text += (text.empty() ? "" : " ") + std::to_string(value);
        return text;
    }

    std::mutex m_mutex;
    int m_handles[2] = {};
    int m_opens = 0;
    int m_dispatches = 0;
    int m_stepsDone = 0;
    HRESULT m_openResult = S_OK;
    std::atomic<bool> m_onThisMachine{true};
    std::deque<Step> m_script;
    std::vector<std::string> m_calls;
};

constexpr uint32_t kVersion = simproto::kDefaultProtocol;

std::vector<uint8_t> Event(uint32_t id, uint32_t data) {
    return simproto::EncodeEvent(kVersion, SIMCONNECT_UNUSED, id, data);
}

// Log text with the timestamp prefixes taken out, so lines compare as written.
std::string WithoutPrefixes(const std::string& log) {
    std::string out;
    size_t at = 0;
    while (at < log.size()) {
        const size_t prefix = log.find("]: ", at);
        const size_t bracket = log.find('[', at);
        if (bracket == at && prefix != std::string::npos && prefix - at == 24) {
            at = prefix + 3;
            continue;
        }
        const size_t next = log.find('[', at + 1);
        const size_t end = next == std::string::npos ? log.size() : next;
        out.append(log, at, end - at);
        at = end;
    }
    return out;
}

class SimLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_sandbox.Apply();
        m_sandbox.CreateSettingsFolder();
        ASSERT_TRUE(LogFile.Open(m_sandbox.LogPath()));
        m_dlg = std::make_unique<CTarvelXConnectDlg>(m_sandbox.settings());
    }
    void TearDown() override {
        // What shutdown does for the link.
        m_dlg->CloseSimconnectThread();
        m_dlg->ClearSimConnect();
        m_dlg.reset();
        LogFile.Close();
    }
    std::string Log() const { return WithoutPrefixes(txtest::ReadFile(m_sandbox.LogPath())); }
    // How often `needle` occurs in the log (it may span lines).
    int LogCount(const std::string& needle) const {
        const std::string log = Log();
        int count = 0;
        for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1))
            ++count;
        return count;
    }
    bool WaitForLog(const std::string& needle, std::chrono::milliseconds timeout = 5s) const {
        return txtest::WaitUntil([&] { return Log().find(needle) != std::string::npos; }, timeout);
    }
    // The presence check, run by the test thread as the window thread: every 100 ms until
    // `done` holds; how long it took.
    std::chrono::milliseconds TickUntil(const std::function<bool()>& done,
                                        std::chrono::milliseconds limit = 3s) {
        const auto start = std::chrono::steady_clock::now();
        while (!done() && std::chrono::steady_clock::now() - start < limit) {
            m_dlg->CheckSimPresence();
            if (done()) break;
            std::this_thread::sleep_for(100ms);
        }
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    }
    bool WorkerEnded() {
        return txtest::WaitUntil([&] { return !m_dlg->IsSimThreadRegistered(); }, 5s) &&
               WaitForLog("SimConnect thread finished.\n");
    }

    txtest::Sandbox m_sandbox;
    std::unique_ptr<CTarvelXConnectDlg> m_dlg;
};

// ---- With the scripted library ------------------------------------------------------------------

class ScriptedLinkTest : public SimLinkTest {
  protected:
    void SetUp() override {
        SimLinkTest::SetUp();
        m_dlg->m_pSimApi = &m_api;
        m_dlg->m_fnSimWindowExists = [this] {
            ++m_windowLookups;
            return m_windowUp.load();
        };
    }
    // Online as the presence check makes it, with a worker pumping the scripted library.
    void GoOnline() {
        m_dlg->CheckSimPresence();
        ASSERT_TRUE(m_dlg->m_bSimOnline);
        ASSERT_TRUE(WaitForLog("SimConnect thread started.\n"));
    }

    ScriptedSimApi m_api;
    std::atomic<bool> m_windowUp{true};
    std::atomic<int> m_windowLookups{0};
};

TEST_F(ScriptedLinkTest, OfflineTicksOnlyTryToConnectAndOnlineTicksOnlyLookForTheWindow) {
    m_api.SetOpenResult(E_FAIL);
    for (int i = 0; i < 3; ++i) m_dlg->CheckSimPresence();
    EXPECT_EQ(m_api.Opens(), 3);
    EXPECT_EQ(m_windowLookups, 0);
    EXPECT_FALSE(m_dlg->m_bSimOnline);
    EXPECT_EQ(Log(), "") << "a failed open logs nothing";

    m_api.SetOpenResult(S_OK);
    GoOnline();
    for (int i = 0; i < 3; ++i) m_dlg->CheckSimPresence();
    EXPECT_EQ(m_api.Opens(), 4);
    EXPECT_EQ(m_windowLookups, 3);
    EXPECT_EQ(m_api.CountCalls("RequestByType 0 0 0 0"), 1);

    m_windowUp = false;
    m_dlg->CheckSimPresence();
    EXPECT_FALSE(m_dlg->m_bSimOnline);
    EXPECT_EQ(m_dlg->GetSimConnectHandle(), nullptr);
    EXPECT_FALSE(m_dlg->IsSimThreadRegistered());
    EXPECT_EQ(m_api.CountCalls("Close h0"), 1);
    const std::string log = Log();
    EXPECT_LT(log.find("FSX offline.\n"), log.find("CloseSimconnectThread...\n"));
    EXPECT_LT(log.find("CloseSimconnectThread...\n"), log.find("CloseSimconnectThread complete\n"));
}

TEST_F(ScriptedLinkTest, ALinkToAnotherMachineGoesOfflineWhenItsConnectionEndsNotByAWindow) {
    m_api.SetRemote();
    m_windowUp = false;  // no window of a simulator elsewhere is ever seen here
    GoOnline();
    for (int i = 0; i < 3; ++i) m_dlg->CheckSimPresence();
    EXPECT_TRUE(m_dlg->m_bSimOnline) << "an open connection keeps it online";
    EXPECT_EQ(m_windowLookups, 0);
    EXPECT_EQ(m_api.Opens(), 1);

    // The simulator goes away: the worker ends with the dispatch result, and the next tick
    // takes the link offline; the one after that tries to open it again.
    m_api.Script({SIMCONNECT_STATUS_PIPE_DISCONNECTED});
    ASSERT_TRUE(WorkerEnded());
    EXPECT_TRUE(m_dlg->m_bSimOnline) << "until the next tick";
    m_dlg->CheckSimPresence();
    EXPECT_FALSE(m_dlg->m_bSimOnline);
    EXPECT_EQ(m_dlg->GetSimConnectHandle(), nullptr);
    EXPECT_EQ(m_windowLookups, 0);
    m_api.SetOpenResult(E_FAIL);
    m_dlg->CheckSimPresence();
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
        m_dlg->m_pSimApi = &api;
        ASSERT_TRUE(m_dlg->StartSimconnectThread());
        EXPECT_EQ(api.CountCalls("Request 1 1 0 4 0 0 1 0"), c.requests);
        EXPECT_EQ(api.CountCalls("Request "), c.requests);
        m_dlg->CloseSimconnectThread();
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
        m_dlg->m_pSimApi = &m_api;
    }
}

TEST_F(ScriptedLinkTest, OnlyChangedDispatchResultsAreLogged) {
    m_api.Script({S_OK, S_OK, S_FALSE, S_FALSE, S_OK});
    GoOnline();
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("<CallDispatch>:"), 3);
    EXPECT_EQ(LogCount("<CallDispatch>: 0x0.\n"), 2);
    EXPECT_EQ(LogCount("<CallDispatch>: 0x1.\n"), 1);
    EXPECT_TRUE(m_dlg->IsSimThreadRegistered()) << "0 and 1 keep the worker running";
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
        LogFile.Open(m_sandbox.LogPath());
        m_dlg->m_bSimOnline = false;
        GoOnline();
        // Scripted only now, so that no line of the window thread falls between the worker's.
        m_api.Script({result});
        ASSERT_TRUE(WorkerEnded());
        const std::string log = Log();
        EXPECT_NE(log.find(lines + "Connection closed: 0.\nSimConnect thread finished.\n"),
                  std::string::npos)
            << log;
        EXPECT_EQ(m_api.CountCalls("Close "), ++closes);
        EXPECT_FALSE(m_dlg->m_bStopSimThread) << "the ended worker consumed its stop";
        // The window is still up: the link stays online, and a pause reaches no simulator.
        m_dlg->CheckSimPresence();
        EXPECT_TRUE(m_dlg->m_bSimOnline);
        const int transmits = m_api.CountCalls("Transmit");
        m_dlg->PauseSim(true);
        EXPECT_EQ(m_api.CountCalls("Transmit"), transmits);
        EXPECT_EQ(LogCount("Sim paused.\n"), 1);
    }
}

TEST_F(ScriptedLinkTest, QuitEndsTheWorkerWithinOnePassWithoutWaitingForItself) {
    GoOnline();
    // The quit must come in a later pass than the first, whose result line it would otherwise
    // precede.
    ASSERT_TRUE(WaitForLog("<CallDispatch>: 0x0.\n"));
    const auto start = std::chrono::steady_clock::now();
    m_api.Script({simproto::EncodeQuit(kVersion)});
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
    m_dlg->CloseSimconnectThread();
    EXPECT_EQ(LogCount("CloseSimconnectThread..."), 1);
}

TEST_F(ScriptedLinkTest, AStopWithoutAWorkerDoesNotStopTheNextOne) {
    m_dlg->CloseSimconnectThread();
    EXPECT_EQ(Log(), "");
    GoOnline();
    const int before = m_api.Dispatches();
    EXPECT_TRUE(txtest::WaitUntil([&] { return m_api.Dispatches() > before + 20; }, 5s));
    EXPECT_TRUE(m_dlg->IsSimThreadRegistered());
}

TEST_F(ScriptedLinkTest, AWorkerThatCannotStartGetsItsConnectionClosed) {
    m_dlg->m_pStartSimThread = [](std::function<void()>) {
        return std::unique_ptr<platform::WorkerThread>();
    };
    EXPECT_FALSE(m_dlg->StartSimconnectThread());
    EXPECT_EQ(m_api.CountCalls("Close h1"), 1);
    EXPECT_NE(Log().find("Starting the SimConnect thread...\nSimConnect thread couldn't start!\n"),
              std::string::npos);
    m_dlg->PauseSim(true);
    EXPECT_EQ(m_api.CountCalls("Transmit"), 0) << "the closed connection is not used";

    m_dlg->m_pStartSimThread = &platform::WorkerThread::Start;
    m_dlg->CheckSimPresence();
    EXPECT_TRUE(m_dlg->m_bSimOnline);
    EXPECT_EQ(m_api.Opens(), 2) << "the next attempt opens a new connection";
    m_dlg->PauseSim(false);
    EXPECT_EQ(m_api.CountCalls("Transmit h0 0 2 0 1 16"), 1);
}

TEST_F(ScriptedLinkTest, AStartWhileAWorkerIsRegisteredStopsThatOneFirst) {
    GoOnline();
    ASSERT_TRUE(m_dlg->StartSimconnectThread());
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
    EXPECT_TRUE(m_dlg->IsSimThreadRegistered());
}

TEST_F(ScriptedLinkTest, MessagesAfterTheHandleWasClearedAreDroppedSilently) {
    GoOnline();
    m_api.Script({simproto::EncodeRawMessage(kVersion, 5, {})});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("Received:5\n"), 1);
    m_dlg->ClearSimConnect();
    m_api.Script(
        {simproto::EncodeRawMessage(kVersion, 5, {}), Event(9, 0), simproto::EncodeQuit(kVersion)});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("Received:5\n"), 1);
    EXPECT_EQ(LogCount("Unknown event"), 0);
    EXPECT_EQ(LogCount("Sim quit"), 0);
    m_dlg->PauseSim(true);
    EXPECT_EQ(m_api.CountCalls("Transmit"), 0);
}

TEST_F(ScriptedLinkTest, MessagesTooShortForTheirKindAreDroppedWithALine) {
    GoOnline();
    auto shortEvent = Event(4, 1);
    shortEvent.resize(16);
    auto shortData = simproto::EncodeSimObjectData(kVersion, 8, REQUEST_FLIGHT_DATA, 1, 1, 0, 1, 1,
                                                   9, std::vector<uint8_t>(40, 0));
    m_api.Script({shortEvent, shortData});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("Short message dropped: dwID=4, cbData=16.\n"), 1);
    EXPECT_EQ(LogCount("Short message dropped: dwID=8, cbData=80.\n"), 1);
    EXPECT_FALSE(m_dlg->m_bSimPaused);
    EXPECT_EQ(LogCount("Flight data received"), 0);
}

TEST_F(ScriptedLinkTest, HostileFlightValuesGiveDefinedLogPieces) {
    GoOnline();
    FlightData record{};
    record.ias = std::nan("");
    record.altitude = 1e300;
    record.heading = -1e300;
    std::memcpy(record.nextWpId, "ABCDEFGH", 8);
    std::vector<uint8_t> bytes(sizeof(record));
    std::memcpy(bytes.data(), &record, sizeof(record));
    m_api.Script(
        {simproto::EncodeSimObjectData(kVersion, 8, REQUEST_FLIGHT_DATA, 1, 1, 0, 1, 1, 9, bytes)});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("IAS=0 Kts; Mach=0.00 M; Alt=2147483647 Ft; Hdg=-2147483648; "), 1) << Log();
}

TEST_F(ScriptedLinkTest, AFlightStartProbesTheGaugeOnlyWhenServerPipeAndLinkAreUp) {
    GoOnline();
    // Server disabled: the start is only logged.
    m_api.Script({Event(EVENT_SIM_START, 0)});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("[Event]: Sim start.\n"), 1);

    // A gauge listening on the pipe's socket.
    const std::string folder = m_sandbox.runtime() + "/pipe";
    ::mkdir(folder.c_str(), 0700);
    const int gauge = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, (folder + "/MCDU_Input").c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(gauge, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(gauge, 4), 0);

    auto server = std::make_unique<WebServer>(0, nullptr, m_dlg.get());
    m_dlg->m_pWebServer = server.get();
    m_dlg->m_bServerEnabled = true;
    // Enabled, but the pipe is not connected yet: still only the line.
    m_api.Script({Event(EVENT_SIM_START, 0)});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("[Event]: Sim start.\n"), 2);
    EXPECT_EQ(LogCount("MSG_PIPE_DUMMY"), 0);

    ASSERT_TRUE(server->ConnectMcduPipe());
    const int connection = ::accept(gauge, nullptr, nullptr);
    ASSERT_GE(connection, 0);
    m_api.Script({Event(EVENT_SIM_START, 0)});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("[Event]: Sim start.\nPIPE: Sends MSG_PIPE_DUMMY, 2 bytes.\n"), 1) << Log();
    unsigned char probe[2] = {0, 1};
    pollfd waiter{connection, POLLIN, 0};
    ASSERT_EQ(::poll(&waiter, 1, 5000), 1);
    ASSERT_EQ(::recv(connection, probe, 2, MSG_WAITALL), 2);
    EXPECT_EQ(probe[0], 0xFE);
    EXPECT_EQ(probe[1], 0x00);

    // Offline (the flag alone): no probe.
    m_dlg->m_bSimOnline = false;
    m_api.Script({Event(EVENT_SIM_START, 0)});
    ASSERT_TRUE(m_api.WaitIdle());
    EXPECT_EQ(LogCount("[Event]: Sim start.\n"), 4);
    EXPECT_EQ(LogCount("MSG_PIPE_DUMMY"), 1);

    m_dlg->CloseSimconnectThread();
    m_dlg->m_pWebServer = nullptr;
    m_dlg->m_bServerEnabled = false;
    server.reset();
    ::close(connection);
    ::close(gauge);
}

// ---- With the stand-in ------------------------------------------------------------------------

class StandinLinkTest : public SimLinkTest {
  protected:
    void SetUp() override {
        SimLinkTest::SetUp();
        // The lamp gets a place of its own so that its picture can be looked at.
        Lamp().Create({0, 0, 144, 144}, [](const SDL_Rect&) {});
    }
    void StartStandin(const std::string& ini = "") {
        if (!ini.empty()) m_sandbox.WriteIni(ini);
        ASSERT_TRUE(m_standin.Start());
        const auto took = TickUntil([&] { return m_dlg->m_bSimOnline.load(); });
        ASSERT_TRUE(m_dlg->m_bSimOnline);
        EXPECT_LT(took, 1s);
        ASSERT_TRUE(WaitForLog("SimConnect thread started.\n"));
        // The worker subscribes after it has started; events sent before would reach nobody.
        ASSERT_TRUE(m_standin.WaitForOutput(
            "SUBSCRIBE_TO_SYSTEM_EVENT event=1 name=\"AircraftLoaded\"", 5s));
    }
    // The lamp's pixels against those of the named picture.
    bool LampShows(const char* picture) {
        CPictureEx reference;
        reference.Create({0, 0, 144, 144}, [](const SDL_Rect&) {});
        if (!reference.LoadFromResource(picture, "BMP") || !reference.Draw()) return false;
        return Pixels(Lamp()) == Pixels(reference);
    }
    CPictureEx& Lamp() { return ui::SdlMainWindowView::Of(*m_dlg).m_picOnline; }
    static std::vector<uint32_t> Pixels(CPictureEx& picture) {
        SDL_Surface* surface =
            SDL_CreateRGBSurfaceWithFormat(0, 144, 144, 32, SDL_PIXELFORMAT_ARGB8888);
        SDL_FillRect(surface, nullptr, 0);
        picture.OnPaint(surface);
        std::vector<uint32_t> pixels(144 * 144);
        SDL_LockSurface(surface);
        for (int y = 0; y < 144; ++y)
            std::memcpy(pixels.data() + y * 144,
                        static_cast<uint8_t*>(surface->pixels) + y * surface->pitch, 144 * 4);
        SDL_UnlockSurface(surface);
        SDL_FreeSurface(surface);
        return pixels;
    }
    std::string Command(const std::string& line) { return m_standin.Command(line); }

    txtest::SimStandin m_standin{m_sandbox};
};

TEST_F(StandinLinkTest, ComesOnlineWithinASecondAndAsksForTheTitle) {
    StartStandin();
    EXPECT_TRUE(LampShows("BITMAP_BTNONLINE_1"));
    EXPECT_TRUE(WaitForLog("[Event]: Title received: Airbus A320 Tarvel; \n"));
    const std::string log = Log();
    EXPECT_LT(log.find("Starting the SimConnect thread...\n"), log.find("FSX online.\n"));
    EXPECT_NE(log.find("Open: AppName=\"TarvelX Simulator Stand-in\"  AppVersion=10.0.61259.0  "
                       "SimConnectVersion=10.0.61259.0\n"),
              std::string::npos)
        << log;
    EXPECT_TRUE(
        m_standin.WaitForOutput("client 1: OPEN app=\"QUENNICK TARVELX CONNECT\" protocol=4 "
                                "(FSX SP2) version=10.0.61259.0\n",
                                5s));
    EXPECT_TRUE(m_standin.WaitForOutput(
        "REQUEST_DATA_ON_SIM_OBJECT_TYPE request=0 define=0 radius=0 type=0", 5s));
    EXPECT_TRUE(
        m_standin.WaitForOutput("SUBSCRIBE_TO_SYSTEM_EVENT event=1 name=\"AircraftLoaded\"", 5s));
    EXPECT_EQ(txtest::CountLines(m_standin.Output(), "REQUEST_DATA_ON_SIM_OBJECT request="), 0)
        << "no periodic request without DataRequestPeriod";
    EXPECT_EQ(txtest::CountLines(m_standin.Output(), "client 2"), 0) << "one connection only";
}

TEST_F(StandinLinkTest, GoesOfflineWithinASecondOfTheWindowGoingAway) {
    StartStandin();
    ASSERT_EQ(Command("window hide"), "ok");
    // Within a second means at the first tick after the window went, however slow the machine.
    m_dlg->CheckSimPresence();
    EXPECT_FALSE(m_dlg->m_bSimOnline);
    EXPECT_EQ(m_dlg->GetSimConnectHandle(), nullptr);
    EXPECT_FALSE(m_dlg->IsSimThreadRegistered());
    EXPECT_TRUE(LampShows("BITMAP_BTNONLINE_0"));
    const std::string log = Log();
    EXPECT_NE(log.find("FSX offline.\nCloseSimconnectThread...\n"), std::string::npos) << log;
    EXPECT_TRUE(m_standin.WaitForOutput("client 1: closed", 5s));

    // Without its window the simulator takes no new client, so the link stays offline however
    // often it tries (an attempt may span ticks: the connection is opened off this thread).
    TickUntil(
        [&] { return txtest::CountLines(m_standin.Output(), "refused (no main window)") >= 2; },
        10s);
    EXPECT_FALSE(m_dlg->m_bSimOnline);
    EXPECT_GE(txtest::CountLines(m_standin.Output(), "refused (no main window)"), 2);
    EXPECT_EQ(LogCount("FSX online.\n"), 1);

    // The window comes back: the link comes online anew.
    ASSERT_EQ(Command("window show"), "ok");
    TickUntil([&] { return m_dlg->m_bSimOnline.load(); }, 10s);
    EXPECT_TRUE(m_dlg->m_bSimOnline);
    EXPECT_EQ(txtest::CountLines(m_standin.Output(), ": OPEN app="), 2);
}

TEST_F(StandinLinkTest, ALostConnectionUnderAnOpenWindowStaysOnlineWithoutAWorker) {
    StartStandin();
    ASSERT_EQ(Command("drop close"), "ok");
    ASSERT_TRUE(WorkerEnded());
    EXPECT_NE(Log().find("<CallDispatch>: 0xC00000B0.\nPossibly sim closed, exiting too.\n"),
              std::string::npos);
    for (int i = 0; i < 3; ++i) m_dlg->CheckSimPresence();
    EXPECT_TRUE(m_dlg->m_bSimOnline);
    m_dlg->PauseSim(true);
    EXPECT_EQ(LogCount("Sim paused.\n"), 1);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(txtest::CountLines(m_standin.Output(), "TRANSMIT_CLIENT_EVENT"), 0);
}

TEST_F(StandinLinkTest, QuitClosesTheWorkerInOnePassAndTheLinkGoesOfflineWithTheWindow) {
    StartStandin();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Command("quit"), "ok");
    ASSERT_TRUE(WorkerEnded());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_NE(Log().find("CloseSimconnectThread...\nCloseSimconnectThread complete\n"
                         "[Event]: Sim quit.\n"),
              std::string::npos)
        << Log();
    EXPECT_EQ(m_standin.Process().Wait(5s), 0);
    TickUntil([&] { return !m_dlg->m_bSimOnline; });
    EXPECT_FALSE(m_dlg->m_bSimOnline);
    EXPECT_EQ(LogCount("FSX offline.\n"), 1);
}

TEST_F(StandinLinkTest, FlightDataIsLoggedConvertedAndOutlivesTheSimulator) {
    StartStandin("[Common]\nDataRequestPeriod=1\n");
    EXPECT_TRUE(m_standin.WaitForOutput(
        "REQUEST_DATA_ON_SIM_OBJECT request=1 define=1 object=0 period=4 flags=0 origin=0 "
        "interval=1 limit=0",
        5s));
    for (const char* command :
         {"set ias 9.9", "set mach 0.78", "set altitude 35000", "set heading 1.5707963267948966",
          "set wpdistance 1852", "set fuel 12345.6", "set groundspeed 0.514444",
          "set vspeed -3.048", "set wpid ABCDEFGH"})
        ASSERT_EQ(Command(command), "ok held") << command;
    ASSERT_EQ(Command("data"), "ok");
    const std::string line =
        "[Event]: Flight data received: IAS=9 Kts; Mach=0.78 M; Alt=35000 Ft; Hdg=90; "
        "Distance=1.00 NM; CurrentFuelTotal=12345 LBS; Ground speed=1 Kts; "
        "Vert speed=-10.00 feet/sec; NextWP=ABCDEFGH.\n";
    ASSERT_TRUE(WaitForLog(line)) << Log();
    ASSERT_EQ(Command("set ias -9.9"), "ok held");
    ASSERT_EQ(Command("data"), "ok");
    ASSERT_TRUE(WaitForLog("Flight data received: IAS=-9 Kts; "));

    ASSERT_EQ(Command("quit"), "ok");
    EXPECT_EQ(m_standin.Process().Wait(5s), 0);
    TickUntil([&] { return !m_dlg->m_bSimOnline; });
    ASSERT_FALSE(m_dlg->m_bSimOnline);
    FlightData kept{};
    m_dlg->GetFlightData(kept);
    EXPECT_EQ(kept.ias, -9.9);
    EXPECT_EQ(kept.heading, 1.5707963267948966);
    EXPECT_EQ(kept.wpDistance, 1852.0);
    EXPECT_EQ(kept.groundSpeed, 0.514444);
    EXPECT_EQ(std::string(kept.nextWpId, 8), "ABCDEFGH");
}

TEST_F(StandinLinkTest, TheFlightItselfDeliversCredibleValues) {
    StartStandin("[Common]\nDataRequestPeriod=1\n");
    ASSERT_EQ(Command("start"), "ok");
    ASSERT_TRUE(WaitForLog(
        "[Event]: EVENT_PLANE_LOADED: SimObjects\\Airplanes\\Tarvel_A320\\aircraft.cfg.\n"));
    ASSERT_TRUE(WaitForLog("[Event]: Sim start.\n"));
    // Rolling: within a few seconds the airspeed has grown, and the next waypoint is named.
    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            FlightData now{};
            m_dlg->GetFlightData(now);
            return now.ias > 3 && now.fuelTotal < 18000 && now.fuelTotal > 17000 &&
                   std::string(now.nextWpId) == "TOBAK";
        },
        5s));
}

TEST_F(StandinLinkTest, PauseFollowsTheSimulatorsReportAndPauseSimSendsItsEvents) {
    StartStandin();
    ASSERT_EQ(Command("pause 1"), "ok");
    ASSERT_TRUE(txtest::WaitUntil([&] { return m_dlg->m_bSimPaused.load(); }, 5s));
    ASSERT_EQ(Command("pause 0"), "ok");
    ASSERT_TRUE(txtest::WaitUntil([&] { return !m_dlg->m_bSimPaused; }, 5s));
    ASSERT_EQ(Command("pause 1"), "ok");
    ASSERT_TRUE(txtest::WaitUntil([&] { return m_dlg->m_bSimPaused.load(); }, 5s));
    ASSERT_EQ(Command("pause 2"), "ok");
    ASSERT_TRUE(WaitForLog("[Event]: Sim pause state: 2.\n"));
    EXPECT_FALSE(m_dlg->m_bSimPaused);

    m_dlg->PauseSim(true);
    ASSERT_TRUE(m_standin.WaitForOutput(
        "TRANSMIT_CLIENT_EVENT object=0 event=3 (PAUSE_ON) data=0 group=1 flags=0x10", 5s));
    EXPECT_TRUE(txtest::WaitUntil([&] { return m_dlg->m_bSimPaused.load(); }, 5s))
        << "the simulator reports the pause it was asked for";
    m_dlg->PauseSim(true);
    EXPECT_TRUE(txtest::WaitUntil(
        [&] { return txtest::CountLines(m_standin.Output(), "event=3 (PAUSE_ON)") == 2; }, 5s));
    m_dlg->PauseSim(false);
    ASSERT_TRUE(m_standin.WaitForOutput(
        "TRANSMIT_CLIENT_EVENT object=0 event=2 (PAUSE_OFF) data=0 group=1 flags=0x10", 5s));
    EXPECT_TRUE(txtest::WaitUntil([&] { return !m_dlg->m_bSimPaused; }, 5s));
    EXPECT_EQ(LogCount("Sim paused.\n"), 2);
    EXPECT_EQ(LogCount("Sim resumed.\n"), 1);
}

TEST_F(StandinLinkTest, UnusualMessagesGiveTheirExactLines) {
    StartStandin();
    ASSERT_TRUE(WaitForLog("[Event]: Title received:"));
    for (const char* command :
         {"kind 0", "kind 5", "kind 7", "kind 10", "kind 42", "event 9 1", "filename 7 other.cfg",
          "filename 1 plane b.cfg", "exception 3 5 2", "title", "start"})
        ASSERT_EQ(Command(command), "ok") << command;
    ASSERT_TRUE(WaitForLog("[Event]: Sim start.\n"));
    const std::string log = Log();
    const std::string expected =
        "Received:0\nReceived:5\nReceived:7\nReceived:10\nReceived:42\nUnknown event: 9\n"
        "[Event]: EVENT_PLANE_LOADED: plane b.cfg.\n"
        "***** EXCEPTION=3; SendID=5; Index=2; cbData=24\n"
        "\nCouldn't retrieve the AC title."
        "[Event]: EVENT_PLANE_LOADED: SimObjects\\Airplanes\\Tarvel_A320\\aircraft.cfg.\n"
        "[Event]: Sim start.\n";
    EXPECT_NE(log.find(expected), std::string::npos) << log;
    EXPECT_EQ(LogCount("other.cfg"), 0);
    EXPECT_TRUE(m_dlg->IsSimThreadRegistered()) << "none of these ends the worker";
}

}  // namespace

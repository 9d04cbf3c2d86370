// The window thread while the simulator's address does not answer: a connection attempt to such
// an address waits for seconds, and none of that may fall on the window thread, which must stay
// free for dragging, clicks and painting.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/TarvelXConnectDlg.h"
#include "platform/Mutex.h"
#include "sim/ClientLibrary.h"
#include "tests/support/TestSocket.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A listener on loopback whose accept queue is full and never emptied: the kernel drops further
// connection attempts, as a host that does not answer would.
class UnansweringListener {
  public:
    UnansweringListener() {
        m_listen = txtest::ListenLoopback("127.0.0.1", 0, m_port);
        for (int i = 0; i < 2; ++i)
            m_fillers.push_back(txtest::StartConnectLoopback("127.0.0.1", m_port));
    }
    ~UnansweringListener() {
        for (const txtest::SocketHandle filler : m_fillers) txtest::CloseTestSocket(filler);
        txtest::CloseTestSocket(m_listen);
    }
    int port() const { return m_port; }
    // True when a further connection attempt gets nowhere within `wait`.
    bool DropsNewConnections(std::chrono::milliseconds wait) {
        const txtest::SocketHandle attempt = txtest::StartConnectLoopback("127.0.0.1", m_port);
        const bool dropped =
            attempt != platform::kInvalidSocket && !txtest::ConnectionSettles(attempt, wait);
        txtest::CloseTestSocket(attempt);
        return dropped;
    }

  private:
    txtest::SocketHandle m_listen = platform::kInvalidSocket;
    int m_port = 0;
    std::vector<txtest::SocketHandle> m_fillers;
};

// The client library itself, with the time each open takes on the window thread written down.
class TimedLibrary : public sim::ClientLibrary {
  public:
    HRESULT Open(HANDLE* phSimConnect, LPCSTR szName, HWND hWnd, DWORD UserEventWin32,
                 HANDLE hEventHandle, DWORD ConfigIndex) override {
        const auto start = Clock::now();
        const HRESULT result =
            Real().Open(phSimConnect, szName, hWnd, UserEventWin32, hEventHandle, ConfigIndex);
        platform::MutexLock lock(m_mutex);
        m_opens.push_back(Clock::now() - start);
        return result;
    }
    HRESULT Close(HANDLE h) override { return Real().Close(h); }
    HRESULT AddToDataDefinition(HANDLE h, SIMCONNECT_DATA_DEFINITION_ID id, const char* datum,
                                const char* unit, SIMCONNECT_DATATYPE type, float epsilon,
                                DWORD datumId) override {
        return Real().AddToDataDefinition(h, id, datum, unit, type, epsilon, datumId);
    }
    HRESULT RequestDataOnSimObject(HANDLE h, SIMCONNECT_DATA_REQUEST_ID request,
                                   SIMCONNECT_DATA_DEFINITION_ID define,
                                   SIMCONNECT_OBJECT_ID object, SIMCONNECT_PERIOD period,
                                   SIMCONNECT_DATA_REQUEST_FLAG flags, DWORD origin, DWORD interval,
                                   DWORD limit) override {
        return Real().RequestDataOnSimObject(h, request, define, object, period, flags, origin,
                                             interval, limit);
    }
    HRESULT RequestDataOnSimObjectType(HANDLE h, SIMCONNECT_DATA_REQUEST_ID request,
                                       SIMCONNECT_DATA_DEFINITION_ID define, DWORD radius,
                                       SIMCONNECT_SIMOBJECT_TYPE type) override {
        return Real().RequestDataOnSimObjectType(h, request, define, radius, type);
    }
    HRESULT MapClientEventToSimEvent(HANDLE h, SIMCONNECT_CLIENT_EVENT_ID id,
                                     const char* name) override {
        return Real().MapClientEventToSimEvent(h, id, name);
    }
    HRESULT SubscribeToSystemEvent(HANDLE h, SIMCONNECT_CLIENT_EVENT_ID id,
                                   const char* name) override {
        return Real().SubscribeToSystemEvent(h, id, name);
    }
    HRESULT TransmitClientEvent(HANDLE h, SIMCONNECT_OBJECT_ID object,
                                SIMCONNECT_CLIENT_EVENT_ID event, DWORD data,
                                SIMCONNECT_NOTIFICATION_GROUP_ID group,
                                SIMCONNECT_EVENT_FLAG flags) override {
        return Real().TransmitClientEvent(h, object, event, data, group, flags);
    }
    HRESULT CallDispatch(HANDLE h, DispatchProc proc, void* context) override {
        return Real().CallDispatch(h, proc, context);
    }
    HRESULT RetrieveString(SIMCONNECT_RECV* data, DWORD size, void* text, char** out,
                           DWORD* length) override {
        return Real().RetrieveString(data, size, text, out, length);
    }
    bool ServerOnThisMachine(HANDLE h) override { return Real().ServerOnThisMachine(h); }

    std::vector<Clock::duration> Opens() {
        platform::MutexLock lock(m_mutex);
        return m_opens;
    }

  private:
    platform::Mutex m_mutex;
    std::vector<Clock::duration> m_opens GUARDED_BY(m_mutex);
};

TEST(ResponsivenessTest, AnUnansweringSimulatorAddressNeverHoldsTheWindowThread) {
    UnansweringListener listener;
    ASSERT_TRUE(listener.DropsNewConnections(300ms)) << "the kernel still takes connections";

    txtest::Sandbox sandbox;
    sandbox.Apply();
    sandbox.WriteIni("[Common]\nLogging=1\n[Server]\nEnabled=0\n");
    txtest::WriteFile(sandbox.settings() + "SimConnect.cfg",
                      "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" +
                          std::to_string(listener.port()) + "\n");
    TimedLibrary library;
    app::CTarvelXConnectDlg dlg(sandbox.settings());
    dlg.Link().m_pSimApi = &library;

    // Work handed to the window thread every 10 ms, as pointer events from a drag or a click
    // would be: how long each waited for its turn. The run spans more than one connection
    // attempt's time-out, so a second attempt starts on a tick too.
    platform::Mutex mutex;
    std::vector<Clock::duration> waits;  // under `mutex`
    std::thread driver([&] {
        txtest::WaitUntil([&] { return !library.Opens().empty(); }, 20s);
        const auto end = Clock::now() + 7s;
        while (Clock::now() < end) {
            const auto posted = Clock::now();
            dlg.PostToWindowThread([&mutex, &waits, posted] {
                platform::MutexLock lock(mutex);
                waits.push_back(Clock::now() - posted);
            });
            std::this_thread::sleep_for(10ms);
        }
        dlg.RequestClose();
    });
    EXPECT_EQ(dlg.DoModal(), 1);
    driver.join();

    const auto opens = library.Opens();
    ASSERT_GE(opens.size(), 6u) << "a presence check every second";
    const auto longestOpen = *std::max_element(opens.begin(), opens.end());
    EXPECT_LT(longestOpen, 50ms) << "the link held the window thread";
    EXPECT_FALSE(dlg.Link().IsOnline());

    platform::MutexLock lock(mutex);
    ASSERT_GT(waits.size(), 300u);
    // Beyond the link's own share, a loaded machine (and a sanitizer) may delay any thread a
    // little; a window thread held by a connection attempt would wait seconds.
    const auto longestWait = *std::max_element(waits.begin(), waits.end());
    EXPECT_LT(longestWait, 250ms);
    EXPECT_FALSE(txtest::ReadLog(sandbox.LogPath()).find("SimConnect:") != std::string::npos)
        << "an address that does not answer is the usual offline state";
}

}  // namespace

// The simulator link's connection and worker thread: opening a connection and starting its worker,
// the worker's dispatch loop, and stopping it.

#include "sim/SimLink.h"

#include <chrono>
#include <thread>
#include <utility>

#include "log/Log.h"
#include "sim/ClientLibrary.h"
#include "sim/LinkHost.h"
#include "sim/SimIds.h"

using logging::LogFile;
using logging::LogLine;

namespace {

constexpr std::chrono::milliseconds kWorkerStopWait{5000};

}  // namespace

namespace sim {

SimLink::SimLink(LinkHost& host, std::string iniPath)
    : m_host(host), m_iniPath(std::move(iniPath)) {}

SimLink::~SimLink() {
    JoinSimconnectThreads();
}

ClientLibrary& SimLink::SimApi() const {
    return m_pSimApi != nullptr ? *m_pSimApi : ClientLibrary::Real();
}

bool SimLink::WithOpenSimConnect(const std::function<void(HANDLE)>& use) {
    platform::MutexLock lock(m_simConnectMutex);
    if (m_hSimConnect == nullptr || m_bSimConnectClosed) return false;
    use(m_hSimConnect);
    return true;
}

bool SimLink::IsSimConnectOpen() {
    platform::MutexLock lock(m_simConnectMutex);
    return m_hSimConnect != nullptr && !m_bSimConnectClosed;
}

HANDLE SimLink::GetSimConnectHandle() {
    platform::MutexLock lock(m_simConnectMutex);
    return m_hSimConnect;
}

bool SimLink::IsSimThreadRegistered() {
    platform::MutexLock lock(m_simThreadMutex);
    return m_pSimThread != nullptr;
}

void SimLink::ClearSimConnect() {
    platform::MutexLock lock(m_simConnectMutex);
    m_hSimConnect = nullptr;
}

void SimLink::ReapSimThreads(bool all) {
    std::vector<std::unique_ptr<platform::WorkerThread>> ending;
    {
        platform::MutexLock lock(m_simThreadMutex);
        for (auto& thread : m_endingSimThreads) {
            if (all || thread->HasEnded()) ending.push_back(std::move(thread));
        }
        std::erase(m_endingSimThreads, nullptr);
    }
    // Joined outside the lock: a worker takes it on its way out.
    ending.clear();
}

void SimLink::JoinSimconnectThreads() {
    CloseSimconnectThread();
    ReapSimThreads(true);
}

bool SimLink::StartSimconnectThread() {
    ReapSimThreads(false);
    HANDLE handle = nullptr;
    if (SimApi().Open(&handle, kSimClientName, nullptr, 0, nullptr, 0) < 0 || handle == nullptr)
        return false;
    {
        platform::MutexLock lock(m_simConnectMutex);
        m_hSimConnect = handle;
        m_bSimConnectClosed = false;
    }
    m_bSimOnThisMachine = SimApi().ServerOnThisMachine(handle);
    SetupSimconnectData();

    if (IsSimThreadRegistered()) {
        CloseSimconnectThread();
        LogLine(LogFile, "Previous thread closed.\n");
    }
    LogLine(LogFile, "Starting the SimConnect thread...\n");

    // A new number retires any earlier worker still running after its stop wait, and the stop
    // request is cleared so that one made while no worker was registered does not end this one.
    const unsigned generation = ++m_nSimWorkerGeneration;
    m_bStopSimThread = false;
    bool started = false;
    {
        platform::MutexLock lock(m_simThreadMutex);
        m_pSimThread = m_fnStartSimThread(
            [this, handle, generation] { RunSimconnectWorker(handle, generation); });
        started = m_pSimThread != nullptr;
    }
    if (!started) {
        LogLine(LogFile, "SimConnect thread couldn't start!\n");
        // No worker will ever close this connection: close it here, and make sure nothing else
        // uses the handle until the next attempt registers a new one.
        {
            platform::MutexLock lock(m_simConnectMutex);
            if (m_hSimConnect == handle) m_bSimConnectClosed = true;
        }
        SimApi().Close(handle);
        return false;
    }

    m_host.OnSimconnectStarted();
    return true;
}

void SimLink::CloseSimconnectThread() {
    m_bStopSimThread = true;
    std::unique_ptr<platform::WorkerThread> thread;
    {
        platform::MutexLock lock(m_simThreadMutex);
        thread = std::move(m_pSimThread);
    }
    if (!thread) return;
    LogLine(LogFile, "CloseSimconnectThread...\n");
    // The worker itself (on a quit message) cannot wait for its own end; it ends as soon as the
    // callback returns to its loop. One still busy after the wait (a probe into a gauge that has
    // stopped reading) leaves its loop when that write gives up. Both are joined later.
    if (thread->IsCurrentThread() || !thread->WaitFor(kWorkerStopWait)) {
        platform::MutexLock lock(m_simThreadMutex);
        m_endingSimThreads.push_back(std::move(thread));
    }
    thread.reset();
    LogLine(LogFile, "CloseSimconnectThread complete\n");
}

DWORD SimLink::SimconnectThreadProc(void* param) {
    auto* link = static_cast<SimLink*>(param);
    if (link == nullptr) return 1;
    HANDLE handle = nullptr;
    {
        platform::MutexLock lock(link->m_simConnectMutex);
        if (!link->m_bSimConnectClosed) handle = link->m_hSimConnect;
    }
    return link->RunSimconnectWorker(handle, link->m_nSimWorkerGeneration.load());
}

DWORD SimLink::RunSimconnectWorker(HANDLE hSimConnect, unsigned generation) {
    if (hSimConnect == nullptr) return 1;
    ClientLibrary& api = SimApi();
    LogLine(LogFile, "SimConnect thread started.\n");
    api.SubscribeToSystemEvent(hSimConnect, EVENT_SIM_START, "SimStart");
    api.SubscribeToSystemEvent(hSimConnect, EVENT_PAUSE_STATE, "Pause");
    api.SubscribeToSystemEvent(hSimConnect, EVENT_PLANE_LOADED, "AircraftLoaded");

    HRESULT last = S_FALSE;
    while (!m_bStopSimThread && m_nSimWorkerGeneration == generation) {
        const HRESULT result = api.CallDispatch(hSimConnect, &SimconnectDispatchProc, this);
        if (result != last) {
            LogLine(LogFile, "<CallDispatch>: 0x%X.\n", static_cast<unsigned>(result));
            last = result;
            if (result == SIMCONNECT_STATUS_PIPE_DISCONNECTED) {
                LogLine(LogFile, "Possibly sim closed, exiting too.\n");
                m_bStopSimThread = true;
            } else if (result == SIMCONNECT_STATUS_PIPE_BROKEN ||
                       result == SIMCONNECT_STATUS_CONNECTION_RESET) {
                LogLine(LogFile, "Possibly sim crashed, exiting too.\n");
                m_bStopSimThread = true;
            } else if (result != S_OK && result != S_FALSE) {
                LogLine(LogFile, "Unknown HRESULT: 0x%X, exiting.\n",
                        static_cast<unsigned>(result));
                m_bStopSimThread = true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Only the current worker consumes the stop request; a retired one leaves it to its successor.
    if (m_nSimWorkerGeneration == generation) m_bStopSimThread = false;

    {
        // Marked before the close: once PauseSim or the title request hold the lock they see it,
        // and one already under way finishes before the close can begin.
        platform::MutexLock lock(m_simConnectMutex);
        if (m_hSimConnect == hSimConnect) m_bSimConnectClosed = true;
    }
    const HRESULT closed = api.Close(hSimConnect);
    LogLine(LogFile, "Connection closed: %u.\n", static_cast<unsigned>(closed));

    {
        // Deregistered, so that a new worker may start; the window thread joins this one.
        platform::MutexLock lock(m_simThreadMutex);
        if (m_pSimThread && m_pSimThread->IsCurrentThread())
            m_endingSimThreads.push_back(std::move(m_pSimThread));
    }
    LogLine(LogFile, "SimConnect thread finished.\n");
    return 0;
}

}  // namespace sim

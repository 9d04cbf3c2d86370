#pragma once
// The simulator link: the connection to the simulator, its worker thread, the dispatch of what
// the simulator sends, the once-a-second presence check that takes the link online and offline,
// the pause control, and the state they share (online and pause flags, the latest flight record).
// The program around it is reached through LinkHost.
//
// The member functions are implemented by subject:
//   sim/SimLink.cpp        the connection and its worker thread
//   sim/SimDispatch.cpp    the dispatch callback
//   sim/SimPresence.cpp    the presence check and the pause control
//   sim/SimFlightData.cpp  the data definitions and the flight record

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Mutex.h"
#include "platform/WorkerThread.h"
#include "sim/FlightData.h"
#include "simconnect/SimConnect.h"

namespace sim {

class ClientLibrary;
class LinkHost;

class SimLink {
  public:
    // `iniPath` is read for DataRequestPeriod at every connection. Nothing is opened.
    SimLink(LinkHost& host, std::string iniPath);
    // Stops and joins every worker still there.
    ~SimLink();
    SimLink(const SimLink&) = delete;
    SimLink& operator=(const SimLink&) = delete;

    // ---- Operations ------------------------------------------------------------------------
    // Opens a connection, declares its data and starts its worker (window thread). False when
    // the connection does not open or the worker cannot start.
    bool StartSimconnectThread();
    // Stops the worker, waiting for it at most 5 s, unless called by the worker itself. A worker
    // that has not ended by then (or that stops itself) is kept until JoinSimconnectThreads.
    void CloseSimconnectThread();
    // Stops the worker and waits, without a time limit, until every worker this link started has
    // ended (window thread, at shutdown). Whatever a worker may wait on (the MCDU pipe) must have
    // been told to give up first.
    void JoinSimconnectThreads();
    // The once-a-second presence check (window thread).
    void CheckSimPresence();
    // Sends PAUSE_ON or PAUSE_OFF while a connection is open, and logs it either way.
    void PauseSim(bool pause);
    // Declares the data definitions, the periodic request and the pause events to the
    // registered connection.
    void SetupSimconnectData();
    // Takes in a 72-byte flight record and logs it (worker thread).
    void StoreFlightData(const void* data);
    // A whole copy of the latest flight record (any thread).
    void GetFlightData(FlightData& out);
    // Forgets the simulator connection handle (presence check and shutdown; window thread).
    void ClearSimConnect();

    // Entry of a worker thread; `param` is the link. Pumps the registered open connection; 1
    // without a link or an open connection, 0 after a normal end.
    static DWORD SimconnectThreadProc(void* param);
    // The dispatch callback; `pContext` is the link. Runs on the worker thread.
    static void SimconnectDispatchProc(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext);
    // Acts on one message (worker thread).
    void DispatchSimMessage(SIMCONNECT_RECV* pData, DWORD cbData);

    // ---- What other threads read -----------------------------------------------------------
    bool IsOnline() const { return m_bSimOnline.load(); }
    bool IsPaused() const { return m_bSimPaused.load(); }
    // A stop has been asked of the worker and not yet consumed by it.
    bool IsStopRequested() const { return m_bStopSimThread.load(); }
    // The registered connection handle, open or not (null when cleared).
    HANDLE GetSimConnectHandle() EXCLUDES(m_simConnectMutex);
    // True while a worker thread is registered.
    bool IsSimThreadRegistered() EXCLUDES(m_simThreadMutex);

    // ---- Test seams, set before the link starts and fixed while it runs --------------------
    // The simulator operations. Null means the client library.
    ClientLibrary* m_pSimApi = nullptr;
    // How the worker thread is created; a test may make it fail.
    std::unique_ptr<platform::WorkerThread> (*m_fnStartSimThread)(std::function<void()>) =
        &platform::WorkerThread::Start;
    // Whether the simulator's main window is up; null means platform::SimulatorWindowExists.
    // Called by the presence check on the window thread only.
    std::function<bool()> m_fnSimWindowExists;

  private:
    // The worker's body: pumps `hSimConnect` until stopped, until its connection fails, or until
    // a newer worker than `generation` has been started; then closes the connection.
    DWORD RunSimconnectWorker(HANDLE hSimConnect, unsigned generation);
    // Calls `use` with the registered connection if it is still open (not cleared, not closed by
    // its worker), holding m_simConnectMutex so that the worker cannot close it meanwhile. False,
    // without calling, otherwise.
    bool WithOpenSimConnect(const std::function<void(HANDLE)>& use) EXCLUDES(m_simConnectMutex);
    // True while a connection is registered and its worker has not closed it.
    bool IsSimConnectOpen() EXCLUDES(m_simConnectMutex);
    ClientLibrary& SimApi() const;
    // Joins the workers that are no longer registered: those that have ended, or with `all`
    // every one (never on a worker thread).
    void ReapSimThreads(bool all) EXCLUDES(m_simThreadMutex);

    LinkHost& m_host;
    // The INI file. Fixed at construction.
    const std::string m_iniPath;

    // The simulator link is online. Written only by the presence check on the window thread; read
    // by the worker, the web server thread and shutdown.
    std::atomic<bool> m_bSimOnline{false};
    // The simulator's last reported pause state. Written by the worker; read by the page handler.
    std::atomic<bool> m_bSimPaused{false};
    // Latest flight values. Written whole by the worker, copied whole by readers, both under
    // m_flightDataMutex, so a reader never sees half an old and half a new record.
    platform::Mutex m_flightDataMutex;
    FlightData m_FlightData GUARDED_BY(m_flightDataMutex){};

    // Stop request to the simulator worker. Written by the window thread and by the worker itself;
    // polled by the worker once per pass.
    std::atomic<bool> m_bStopSimThread{false};
    // The simulator of the current link runs on this machine, so its main window decides when
    // the link goes offline; one on another machine is judged by the connection instead. Set by
    // StartSimconnectThread and read by the presence check, both on the window thread only.
    bool m_bSimOnThisMachine = true;

    // Guards the connection handle and its closed flag. Held across every use of the connection
    // outside its worker (set-up, title request, pause), so the worker's close waits for them.
    platform::Mutex m_simConnectMutex;
    // The open connection; null when there is none. Set by StartSimconnectThread and cleared by
    // ClearSimConnect, both on the window thread; read by the callback (worker) and by PauseSim
    // (web server thread).
    HANDLE m_hSimConnect GUARDED_BY(m_simConnectMutex) = nullptr;
    // m_hSimConnect was closed by its worker (or never got one): nothing may use it any more.
    // Set by the worker before it closes; cleared when StartSimconnectThread registers a new one.
    bool m_bSimConnectClosed GUARDED_BY(m_simConnectMutex) = false;
    // Number of the registered worker. Raised by StartSimconnectThread (window thread) for each
    // new worker; a worker that finds a newer number leaves its loop, so a worker that outlived
    // the stop wait never runs beside its successor.
    std::atomic<unsigned> m_nSimWorkerGeneration{0};

    // Guards the worker's thread handle. Whoever takes the handle out of m_pSimThread owns it
    // alone: CloseSimconnectThread takes it before waiting, the worker takes its own at its end,
    // so it is released exactly once and never while another thread waits on it.
    platform::Mutex m_simThreadMutex;
    std::unique_ptr<platform::WorkerThread> m_pSimThread GUARDED_BY(m_simThreadMutex);
    // Workers deregistered but not yet joined: one that stopped itself (a quit message, a broken
    // connection) hands its handle over here, as does a stop whose wait ran out. Added to by any
    // worker and the window thread; joined only by the window thread (ReapSimThreads), so no
    // thread outlives the link and none joins itself.
    std::vector<std::unique_ptr<platform::WorkerThread>> m_endingSimThreads
        GUARDED_BY(m_simThreadMutex);
};

}  // namespace sim

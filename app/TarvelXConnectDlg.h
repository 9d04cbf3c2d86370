#pragma once
// The main window object: the program's one window, and the holder of every piece of state that
// the three threads (window, simulator worker, web server) share. Other threads reach shared state
// only through this object; next to each shared field stands who writes it and how readers stay
// consistent.
//
// The window system is reached through the view (ui/MainWindowView.h), which shows the window and
// runs its event loop, and tells this object what happened through ui/MainWindowEvents.h; this
// object keeps the logic, so it names no type of any window system.
//
// The member functions are implemented by subsystem:
//   app/TarvelXConnectDlg.cpp          start-up, configuration, the run of the window, shutdown
//   app/TarvelXConnectDlgState.cpp     construction, closing, the hand-over of work
//   app/TarvelXConnectDlgCommands.cpp  what the window's face asks for, and what it is told
//   sim/*.cpp                          the simulator link (worker, dispatch, presence, pause)
//   web/WebServerThread.cpp            starting and stopping the web server thread

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/FileLock.h"
#include "platform/Mutex.h"
#include "platform/WorkerThread.h"
#include "sim/FlightData.h"
#include "simconnect/SimConnect.h"
#include "ui/MainWindowConstants.h"
#include "ui/MainWindowEvents.h"
#include "ui/MainWindowView.h"

class WebServer;
class ClientLibrary;

class CTarvelXConnectDlg : public ui::MainWindowEvents {
  public:
    // `settingsFolder` ends with a separator; by default the user's documents folder followed by
    // "Quennick/Tarvel/". Construction touches no window system.
    explicit CTarvelXConnectDlg(std::string settingsFolder = DefaultSettingsFolder());
    ~CTarvelXConnectDlg() override;
    CTarvelXConnectDlg(const CTarvelXConnectDlg&) = delete;
    CTarvelXConnectDlg& operator=(const CTarvelXConnectDlg&) = delete;

    static std::string DefaultSettingsFolder();

    // ---- Window lifetime (window thread) -------------------------------------------------------
    // Runs the window: start-up, then events until the window ends, then shutdown. Returns the
    // end result: 1 after a normal end, 2 when a second instance was refused.
    int DoModal();
    bool OnInitDialog();
    void OnDestroy();
    void OnClose() override;
    void OnTimer(unsigned id) override;
    void OnSysCommand(unsigned id) override;
    // Ends the event loop with `result` (window thread).
    void EndDialog(int result) override;
    // Asks the window to end from any thread or a signal handler's deferred work.
    void RequestClose() override;
    // Runs `task` on the window thread at its next turn (callable from any thread).
    void PostToWindowThread(std::function<void()> task);
    // Runs the tasks posted so far (window thread; the event loop calls it).
    void RunPostedTasks() override;
    bool IsEnded() const override { return m_nEndResult.load() != 0; }
    // A close was asked for by RequestClose and the event loop has yet to act on it.
    bool IsCloseRequested() const override { return m_bCloseRequested.load(); }

    // A place on the screen, in pixels.
    struct Position {
        int x = 0;
        int y = 0;
    };
    // Start-up step 9: x and y of the window for a usable display area of W x H pixels.
    static Position ComputeWindowPosition(int usableWidth, int usableHeight);

    std::string IniPath() const { return m_szSettingsFolder + "TarvelXConnectExtended.ini"; }
    std::string LogPath() const { return m_szSettingsFolder + "TarvelXConnectExtended.log"; }

    // ---- The window's face (app/TarvelXConnectDlgCommands.cpp; window thread only) ----------
    // A press on the address strip: the server's page opens in the browser.
    void OnAddressClicked() override;
    // Switches the status lamp to the online or offline picture.
    void SetOnlineLamp(bool online);
    // Draws `text` centred into the address strip of the skin and repaints that strip.
    void DrawAddressLabel(const std::string& text);
    // The window system's side of the window. Made at construction and kept for the object's
    // life; used on the window thread, apart from the calls it allows from any thread.
    ui::MainWindowView& View() const { return *m_pView; }

    // ---- Web server thread (web/WebServerThread.cpp) -------------------------------------------
    void StartWebServerThread();
    void StopWebServerThread(bool wait);

    // ---- Simulator link (sim/) -----------------------------------------------------------------
    bool StartSimconnectThread();
    void CloseSimconnectThread();
    void CheckSimPresence();
    void PauseSim(bool pause);
    void SetupSimconnectData();
    void StoreFlightData(const void* data);
    void GetFlightData(FlightData& out);
    // Forgets the simulator connection handle (presence check and shutdown; window thread).
    void ClearSimConnect();

    // ---- State, in the order of the window's field table
    // -----------------------------------------

    // Stop request to the simulator worker. Written by the window thread and by the worker itself;
    // polled by the worker once per pass.
    std::atomic<bool> m_bStopSimThread{false};
    // [Server] WebserverWaits4Sim. Written once by the window thread during start-up, before any
    // other thread exists; read by the web server thread.
    std::atomic<bool> m_bWebserverWaits4Sim{true};
    // The web server object. Created during start-up and deleted at shutdown by the window thread,
    // only while no web server thread runs; the other threads only use it while it exists.
    WebServer* m_pWebServer = nullptr;
    // Settings folder with its trailing separator. Fixed at construction; read by every thread.
    const std::string m_szSettingsFolder;
    // The single-instance lock, held for the whole run (window thread only).
    platform::FileLock m_hMutex;
    // The window's icon, skin, pointer, lamp and exit pictures, timer and label font belong to
    // the view (window thread only).
    // The simulator link is online. Written only by the presence check on the window thread; read
    // by the worker, the web server thread and shutdown.
    std::atomic<bool> m_bSimOnline{false};

    // The simulator link's members (connection handle, worker thread handle, their guard) are
    // declared by the simulator-link section below.

    // Latest flight values. Written whole by the worker, copied whole by readers, both under
    // m_flightDataMutex, so a reader never sees half an old and half a new record.
    platform::Mutex m_flightDataMutex;
    FlightData m_FlightData GUARDED_BY(m_flightDataMutex){};
    // The simulator's last reported pause state. Written by the worker; read by the page handler.
    std::atomic<bool> m_bSimPaused{false};
    // [Server] Enabled. Written once during start-up before any other thread exists.
    std::atomic<bool> m_bServerEnabled{false};
    // The web server thread's handle, while it runs. Guarded by m_webThreadMutex: the thread
    // releases its own registration when it ends, and shutdown waits for it and releases it.
    platform::Mutex m_webThreadMutex;
    std::unique_ptr<platform::WorkerThread> m_hWebServerThread GUARDED_BY(m_webThreadMutex);
    // [Server] Port. Written once during start-up before any other thread exists.
    std::atomic<uint32_t> m_nPort{0};

    // ---- Simulator link state ----------------------------------------------------------------
    // Entry of a worker thread; `param` is the main window object. Pumps the registered open
    // connection; 1 without an object or an open connection, 0 after a normal end.
    static DWORD SimconnectThreadProc(void* param);
    // The dispatch callback; `pContext` is the main window object. Runs on the worker thread.
    static void SimconnectDispatchProc(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext);
    // The worker's body: pumps `hSimConnect` until stopped, until its connection fails, or until
    // a newer worker than `generation` has been started; then closes the connection.
    DWORD RunSimconnectWorker(HANDLE hSimConnect, unsigned generation);
    // Acts on one message (worker thread).
    void DispatchSimMessage(SIMCONNECT_RECV* pData, DWORD cbData);
    // Calls `use` with the registered connection if it is still open (not cleared, not closed by
    // its worker), holding m_simConnectMutex so that the worker cannot close it meanwhile. False,
    // without calling, otherwise.
    bool WithOpenSimConnect(const std::function<void(HANDLE)>& use) EXCLUDES(m_simConnectMutex);
    // True while a connection is registered and its worker has not closed it.
    bool IsSimConnectOpen() EXCLUDES(m_simConnectMutex);
    // The registered connection handle, open or not (null when cleared).
    HANDLE GetSimConnectHandle() EXCLUDES(m_simConnectMutex);
    // True while a worker thread is registered.
    bool IsSimThreadRegistered() EXCLUDES(m_simThreadMutex);
    ClientLibrary& SimApi() const;

    // The simulator operations. Null means the client library; a test sets its double before the
    // link starts. Fixed while the link runs.
    ClientLibrary* m_pSimApi = nullptr;
    // How the worker thread is created; a test may make it fail. Fixed while the link runs.
    std::unique_ptr<platform::WorkerThread> (*m_pStartSimThread)(std::function<void()>) =
        &platform::WorkerThread::Start;
    // Whether the simulator's main window is up; null means platform::SimulatorWindowExists.
    // Called by the presence check on the window thread only.
    std::function<bool()> m_fnSimWindowExists;
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

    // Guards the worker's thread handle. Whoever takes the handle out of m_hSimThread owns it
    // alone: CloseSimconnectThread takes it before waiting, the worker takes its own at its end,
    // so it is released exactly once and never while another thread waits on it.
    platform::Mutex m_simThreadMutex;
    std::unique_ptr<platform::WorkerThread> m_hSimThread GUARDED_BY(m_simThreadMutex);

  private:
    // Start-up helpers (window thread).
    bool CreateMainWindow();
    void StartPresenceTimer();
    void ReadConfiguration();

    std::atomic<int> m_nEndResult{0};
    // A close was asked for from another thread (the signal watcher). Raised by RequestClose on
    // any thread; read by the event loop on the window thread.
    std::atomic<bool> m_bCloseRequested{false};
    // Work handed to the window thread by other threads.
    platform::Mutex m_postedMutex;
    std::deque<std::function<void()>> m_posted GUARDED_BY(m_postedMutex);
    // Fixed from construction on, so any thread may reach the view's thread-safe calls.
    const std::unique_ptr<ui::MainWindowView> m_pView;
};

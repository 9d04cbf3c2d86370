#pragma once
// The main window object: the program's one window, and the program around the simulator link
// and the web server. It owns the link (sim::SimLink) and the web server object, reads the
// configuration, runs the window and shuts everything down in order. The link and the server
// reach it only through the small interfaces they own (sim::LinkHost, web::ServerHost), which it
// implements; next to each shared field stands who writes it and how readers stay consistent.
//
// The window system is reached through the view (ui/MainWindowView.h), which shows the window and
// runs its event loop, and tells this object what happened through ui/MainWindowEvents.h; this
// object keeps the logic, so it names no type of any window system.
//
// The member functions are implemented by subsystem:
//   app/TarvelXConnectDlg.cpp          start-up, configuration, the run of the window, shutdown
//   app/TarvelXConnectDlgState.cpp     construction, closing, the hand-over of work
//   app/TarvelXConnectDlgCommands.cpp  what the window's face asks for, and what it is told
//   app/TarvelXConnectDlgHosts.cpp     what the simulator link and the web server ask of it

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/FileLock.h"
#include "platform/Mutex.h"
#include "sim/FlightData.h"
#include "sim/LinkHost.h"
#include "sim/SimLink.h"
#include "ui/MainWindowConstants.h"
#include "ui/MainWindowEvents.h"
#include "ui/MainWindowView.h"
#include "web/ServerHost.h"

namespace web {
class WebServer;
}

namespace app {

class CTarvelXConnectDlg : public ui::MainWindowEvents,
                           public sim::LinkHost,
                           public web::ServerHost {
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
    void OnEndSession() override;
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
    // Where the window goes: x and y for a usable display area of W x H pixels (centred, x on a
    // multiple of 8).
    static Position ComputeWindowPosition(int usableWidth, int usableHeight);

    std::string IniPath() const { return m_settingsFolder + "TarvelXConnectExtended.ini"; }
    std::string LogPath() const { return m_settingsFolder + "TarvelXConnectExtended.log"; }

    // ---- The window's face (app/TarvelXConnectDlgCommands.cpp; window thread only) ----------
    // A press on the address strip: the server's page opens in the browser.
    void OnAddressClicked() override;
    // Switches the status lamp to the online or offline picture.
    void SetOnlineLamp(bool online) override;
    // Draws `text` centred into the address strip of the skin and repaints that strip.
    void DrawAddressLabel(const std::string& text);
    // The window system's side of the window. Made at construction and kept for the object's
    // life; used on the window thread, apart from the calls it allows from any thread.
    ui::MainWindowView& View() const { return *m_pView; }

    // The simulator link (window thread for its start, checks and stop; see sim/SimLink.h for
    // the rest). Made at construction and kept for the object's life.
    sim::SimLink& Link() { return m_simLink; }
    // The web server object, or null while the server is disabled (or not yet read from the INI).
    web::WebServer* Server() const { return m_pWebServer; }

    // ---- What the simulator link asks (sim::LinkHost) --------------------------------------
    void OnSimconnectStarted() override;
    void ProbeMcdu() override;

    // ---- What the web server asks (web::ServerHost) ----------------------------------------
    bool IsSimOnline() const override;
    bool IsSimPaused() const override;
    void GetFlightData(sim::FlightData& out) override;
    void PauseSim(bool pause) override;
    std::string SettingsFolder() const override { return m_settingsFolder; }
    void ShowAddressLabel(const std::string& label) override;

    // ---- Settings read at start-up ---------------------------------------------------------
    bool ServerEnabled() const { return m_bServerEnabled.load(); }
    uint32_t Port() const { return m_nPort.load(); }
    // Sets the port the address strip's link names, as the INI would (a test of the face).
    void SetPortForTesting(uint32_t port) { m_nPort = port; }

  private:
    // Start-up helpers (window thread).
    // The window cannot be shown: tells the user, ends the window; always false.
    bool FailStartUp();
    bool CreateMainWindow();
    void StartPresenceTimer();
    void ReadConfiguration();

    // ---- State, in the order of the window's field table -----------------------------------

    // The web server object. Created during start-up and deleted at shutdown by the window thread,
    // only while no web server thread runs; the other threads only use it while it exists.
    web::WebServer* m_pWebServer = nullptr;
    // Settings folder with its trailing separator. Fixed at construction; read by every thread.
    const std::string m_settingsFolder;
    // The single-instance lock, held for the whole run (window thread only).
    platform::FileLock m_instanceLock;
    // The window's icon, skin, pointer, lamp and exit pictures, timer and label font belong to
    // the view (window thread only).
    // [Server] Enabled. Written once during start-up before any other thread exists.
    std::atomic<bool> m_bServerEnabled{false};
    // [Server] Port. Written once during start-up before any other thread exists.
    std::atomic<uint32_t> m_nPort{0};
    // The simulator link with its own state (connection, worker, online and pause flags, flight
    // record). Made at construction, after the settings folder it reads the INI file from.
    sim::SimLink m_simLink;

    std::atomic<int> m_nEndResult{0};
    // Shutdown has run (OnDestroy). Window thread only: a session's end runs it from inside the
    // event loop, and the end of DoModal must not run it again.
    bool m_bDestroyed = false;
    // A close was asked for from another thread (the signal watcher). Raised by RequestClose on
    // any thread; read by the event loop on the window thread.
    std::atomic<bool> m_bCloseRequested{false};
    // Work handed to the window thread by other threads.
    platform::Mutex m_postedMutex;
    std::deque<std::function<void()>> m_posted GUARDED_BY(m_postedMutex);
    // Fixed from construction on, so any thread may reach the view's thread-safe calls.
    const std::unique_ptr<ui::MainWindowView> m_pView;
};

}  // namespace app

// Start-up, configuration, the window's event loop and shutdown.

#include "app/TarvelXConnectDlg.h"

#include <sys/stat.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "log/Diagnostics.h"
#include "log/Log.h"
#include "platform/DisplayMetrics.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/ProfileReader.h"
#include "web/PageHandler.h"
#include "web/WebServer.h"

namespace {

constexpr Uint32 kPresenceTimerPeriodMs = 1000;

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Without a window system of its own (the dummy driver) SDL would poll for events every
// millisecond; instead the loop sleeps until something is pushed onto the queue.
struct QueueWakeup {
    std::mutex mutex;
    std::condition_variable pushed;
    uint64_t count = 0;  // guarded by mutex
};

int CountPush(void* userdata, SDL_Event*) {
    auto* wakeup = static_cast<QueueWakeup*>(userdata);
    {
        std::lock_guard<std::mutex> lock(wakeup->mutex);
        ++wakeup->count;
    }
    wakeup->pushed.notify_all();
    return 0;
}

}  // namespace

int CTarvelXConnectDlg::DoModal() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_WINDOW_NO_ACTIVATION_WHEN_SHOWN, "1");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "Cannot start the window system: %s\n", SDL_GetError());
        return 0;
    }
    m_bVideoStarted = true;
    const Uint32 first = SDL_RegisterEvents(2);
    m_nTimerEvent = first;
    m_nPostedEvent = first + 1;

    QueueWakeup wakeup;
    SDL_AddEventWatch(CountPush, &wakeup);
    const bool nativeWait = platform::HasDisplay();

    if (OnInitDialog()) {
        RunPostedTasks();
        while (m_nEndResult.load() == 0) {
            if (m_bCloseRequested) {
                OnClose();
                continue;
            }
            uint64_t seen;
            {
                std::lock_guard<std::mutex> lock(wakeup.mutex);
                seen = wakeup.count;
            }
            SDL_Event event;
            bool got = SDL_PollEvent(&event) != 0;
            if (!got && nativeWait) {
                got = SDL_WaitEvent(&event) != 0;
            } else if (!got) {
                // A poll stops at SDL's end-of-poll marker even when events were pushed behind
                // it; those are already counted, so waiting for the next push would leave them
                // queued until then.
                if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) continue;
                std::unique_lock<std::mutex> lock(wakeup.mutex);
                wakeup.pushed.wait(lock, [&] { return wakeup.count != seen; });
                continue;
            }
            if (!got) continue;
            if (event.type == m_nPostedEvent) {
                RunPostedTasks();
            } else if (event.type == m_nTimerEvent) {
                // Cleared before the check runs, so a tick that comes due during a long check is
                // kept for afterwards.
                m_bPresenceTickPending = false;
                OnTimer(static_cast<unsigned>(event.user.code));
            } else if (event.type == SDL_QUIT) {
                OnClose();
            } else {
                WindowProc(event);
            }
        }
    }
    OnDestroy();
    SDL_DelEventWatch(CountPush, &wakeup);
    m_nPostedEvent = 0;
    SDL_Quit();
    m_bVideoStarted = false;
    return m_nEndResult.load();
}

bool CTarvelXConnectDlg::OnInitDialog() {
    // 1-2. One instance only: the lock is held for the whole run.
    const std::string lockPath = platform::InstanceLockPath();
    if (!m_hMutex.TryLock(lockPath)) {
        if (platform::FileLock::IsHeldElsewhere(lockPath)) {
            platform::ShowMessageBox("Application is already running, only one instance is allowed.",
                                     "Information", platform::MessageIcon::Information);
            EndDialog(2);
            return false;
        }
        // The runtime folder is unusable: run on without the guard rather than not at all.
        std::fprintf(stderr, "Warning: cannot create the instance lock %s\n", lockPath.c_str());
    }

    // 3. The window itself (hidden until it is placed).
    if (!CreateMainWindow()) {
        platform::ShowMessageBox("Program error.", "Error", platform::MessageIcon::Error);
        std::exit(0);
    }
    // 4. There is no system menu here; the About box opens from a right-click instead.
    // 5-7. Icon, status lamp and exit strip.
    SetProgramIcon();
    PlacePictureControls();
    // 8. The skin; without its drawing surface the program cannot show anything.
    if (!CreateSkin()) {
        platform::ShowMessageBox("Program error.", "Error", platform::MessageIcon::Error);
        std::exit(0);
    }
    // 9. Placement and showing, without taking the focus.
    const SDL_Point usable = platform::UsableDisplaySize();
    const SDL_Point position = ComputeWindowPosition(usable.x, usable.y);
    SDL_SetWindowPosition(m_pWindow, position.x, position.y);
    SDL_SetWindowSize(m_pWindow, kWindowWidth, kWindowHeight);
    SDL_ShowWindow(m_pWindow);
    SDL_SetWindowTitle(m_pWindow, "TarvelX Load Manager");
    InvalidateRect({0, 0, kWindowWidth, kWindowHeight});
    // 10. The address label's font.
    CreateAddressFont();
    // 11. The once-a-second presence check.
    StartPresenceTimer();
    // 12-16. Configuration, log and the web server.
    ReadConfiguration();
    return true;
}

bool CTarvelXConnectDlg::CreateMainWindow() {
    m_pWindow = SDL_CreateWindow("TarvelX Load Manager", SDL_WINDOWPOS_UNDEFINED,
                                 SDL_WINDOWPOS_UNDEFINED, kWindowWidth, kWindowHeight,
                                 SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
    return m_pWindow != nullptr;
}

void CTarvelXConnectDlg::StartPresenceTimer() {
    m_nTimerId = SDL_AddTimer(kPresenceTimerPeriodMs, OnPresenceTimer, this);
}

Uint32 CTarvelXConnectDlg::OnPresenceTimer(Uint32 interval, void* param) {
    // One tick waits at most, as with a window timer: a window thread held up for seconds (up to
    // 5 s by a worker's stop wait) then checks once, not once for every second it missed.
    auto* dlg = static_cast<CTarvelXConnectDlg*>(param);
    if (dlg->m_bPresenceTickPending.exchange(true)) return interval;
    SDL_Event tick{};
    tick.type = dlg->m_nTimerEvent;
    tick.user.code = static_cast<Sint32>(kPresenceTimerId);
    // A tick the queue refused never arrives, so it must not block the ones after it.
    if (SDL_PushEvent(&tick) != 1) dlg->m_bPresenceTickPending = false;
    return interval;
}

void CTarvelXConnectDlg::ReadConfiguration() {
    const std::string iniPath = IniPath();
    // 13. The log, when asked for.
    if (platform::GetPrivateProfileInt("Common", "Logging", 0, iniPath) != 0) {
        if (LogFile.Open(LogPath())) {
            LogLine(LogFile, "TarvelXConnectExtended.exe: BEGIN; LOG: %s.\n", iniPath.c_str());
            LogModuleVersion(LogFile, nullptr, 1, true);
        }
    }
    // 14. A missing INI file is worth telling the user, unless a log says it already.
    if (!LogFile.IsOpen() && !FileExists(iniPath)) {
        char text[260];
        std::snprintf(text, sizeof text, "The INI file is not found at '%s'!", iniPath.c_str());
        platform::ShowMessageBox(text, "Information", platform::MessageIcon::Error);
    }
    // 15. The web server.
    m_bServerEnabled = platform::GetPrivateProfileInt("Server", "Enabled", 1, iniPath) != 0;
    if (m_bServerEnabled) {
        m_nPort = static_cast<uint32_t>(platform::GetPrivateProfileInt("Server", "Port", 4040, iniPath));
        m_pWebServer = new (std::nothrow) WebServer(m_nPort, ServePage, this);
        m_bWebserverWaits4Sim =
            platform::GetPrivateProfileInt("Server", "WebserverWaits4Sim", 1, iniPath) != 0;
        bool running;
        {
            platform::MutexLock lock(m_webThreadMutex);
            running = m_hWebServerThread != nullptr;
        }
        if (!m_bWebserverWaits4Sim && !running) StartWebServerThread();
    }
}

void CTarvelXConnectDlg::OnTimer(unsigned id) {
    if (id == kPresenceTimerId) CheckSimPresence();
}

void CTarvelXConnectDlg::OnClose() { EndDialog(1); }

void CTarvelXConnectDlg::OnDestroy() {
    if (m_nTimerId != 0) {
        SDL_RemoveTimer(m_nTimerId);
        m_nTimerId = 0;
    }
    // 1-3. The instance lock, the skin and the font.
    m_hMutex.Unlock();
    DestroySkin();
    DeleteAddressFont();
    // 4-5. The simulator worker first, so that nothing else writes into the pipe.
    CloseSimconnectThread();
    ClearSimConnect();
    if (m_pWebServer != nullptr) {
        // 6. Tell the gauge we are going while the link is up.
        if (m_bSimOnline) m_pWebServer->m_mcduPipe.SendClose();
        // 7-8. The server thread, its connection and the server object.
        StopWebServerThread(true);
        m_pWebServer->CloseClient();
        delete m_pWebServer;
        m_pWebServer = nullptr;
    }
    // 9. The log's last line.
    if (LogFile.IsOpen()) {
        LogLine(LogFile, "TarvelXConnectExtended.exe: END.\n");
        LogFile.Close();
    }
    // 10. The window itself.
    m_picOnline.Unload();
    m_picExit.Unload();
    if (m_pWindow != nullptr) {
        SDL_DestroyWindow(m_pWindow);
        m_pWindow = nullptr;
    }
    if (m_hIcon != nullptr) {
        SDL_FreeSurface(m_hIcon);
        m_hIcon = nullptr;
    }
}

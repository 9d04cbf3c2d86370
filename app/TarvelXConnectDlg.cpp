// Start-up, configuration, the run of the window and shutdown.

#include "app/TarvelXConnectDlg.h"

#include <cstdio>

#include "log/Diagnostics.h"
#include "log/Log.h"
#include "platform/FileAccess.h"
#include "platform/Paths.h"
#include "platform/ProfileReader.h"
#include "ui/DisplayMetrics.h"
#include "ui/MessageBox.h"
#include "web/PageHandler.h"
#include "web/WebServer.h"

using logging::LogFile;
using logging::LogLine;
using logging::LogModuleVersion;

namespace app {

namespace {

constexpr unsigned kPresenceTimerPeriodMs = 1000;
constexpr const char* kWindowTitle = "TarvelX Load Manager";

}  // namespace

int CTarvelXConnectDlg::DoModal() {
    if (!m_pView->StartWindowSystem()) return 0;
    if (OnInitDialog()) {
        RunPostedTasks();
        m_pView->RunEventLoop();
    }
    OnDestroy();
    m_pView->StopWindowSystem();
    return m_nEndResult.load();
}

bool CTarvelXConnectDlg::OnInitDialog() {
    // One instance only: the lock is held for the whole run.
    const std::string lockPath = platform::InstanceLockPath();
    if (!m_instanceLock.TryLock(lockPath)) {
        if (platform::FileLock::IsHeldElsewhere(lockPath)) {
            ui::ShowMessageBox("Application is already running, only one instance is allowed.",
                               "Information", ui::MessageIcon::Information);
            EndDialog(2);
            return false;
        }
        // The runtime folder is unusable: run on without the guard rather than not at all.
        std::fprintf(stderr, "Warning: cannot create the instance lock %s\n", lockPath.c_str());
    }

    // The window itself (hidden until it is placed). Without it, or without the skin's
    // drawing surface below, the program cannot show anything: it ends, through shutdown like
    // any end, so that the signal watcher is joined and nothing runs on under a process exit.
    if (!CreateMainWindow()) return FailStartUp();
    // The About entry: the Windows view adds it to the system menu as it makes the window; an
    // X11 window's menu belongs to the window manager, so on Linux a right-click stands in.
    // Icon, status lamp and exit strip.
    m_pView->SetProgramIcon();
    m_pView->PlacePictureControls();
    // The skin; without its drawing surface the program cannot show anything.
    if (!m_pView->CreateSkin()) return FailStartUp();
    // Placement and showing, without taking the focus.
    const ui::DisplaySize usable = ui::UsableDisplaySize();
    const Position position = ComputeWindowPosition(usable.width, usable.height);
    m_pView->ShowAt(position.x, position.y, ui::kWindowWidth, ui::kWindowHeight, kWindowTitle);
    // The address label's font.
    m_pView->CreateAddressFont();
    // The once-a-second presence check.
    StartPresenceTimer();
    // Configuration, log and the web server.
    ReadConfiguration();
    return true;
}

bool CTarvelXConnectDlg::FailStartUp() {
    ui::ShowMessageBox("Program error.", "Error", ui::MessageIcon::Error);
    EndDialog(1);
    return false;
}

bool CTarvelXConnectDlg::CreateMainWindow() {
    return m_pView->CreateMainWindow(kWindowTitle, ui::kWindowWidth, ui::kWindowHeight);
}

void CTarvelXConnectDlg::StartPresenceTimer() {
    m_pView->StartPresenceTimer(ui::kPresenceTimerId, kPresenceTimerPeriodMs);
}

void CTarvelXConnectDlg::ReadConfiguration() {
    const std::string iniPath = IniPath();
    // The log, when asked for.
    if (platform::GetPrivateProfileInt("Common", "Logging", 0, iniPath) != 0) {
        if (LogFile.Open(LogPath())) {
            LogLine(LogFile, "TarvelXConnectExtended.exe: BEGIN; LOG: %s.\n", iniPath.c_str());
            LogModuleVersion(LogFile, nullptr, 1, true);
        }
    }
    // A missing INI file is worth telling the user, unless a log says it already.
    if (!LogFile.IsOpen() && !platform::FileExists(iniPath)) {
        char text[260];
        std::snprintf(text, sizeof text, "The INI file is not found at '%s'!", iniPath.c_str());
        ui::ShowMessageBox(text, "Information", ui::MessageIcon::Error);
    }
    // The web server.
    m_bServerEnabled = platform::GetPrivateProfileInt("Server", "Enabled", 1, iniPath) != 0;
    if (m_bServerEnabled) {
        m_nPort =
            static_cast<uint32_t>(platform::GetPrivateProfileInt("Server", "Port", 4040, iniPath));
        const bool waitsForSim =
            platform::GetPrivateProfileInt("Server", "WebserverWaits4Sim", 1, iniPath) != 0;
        m_pWebServer =
            new (std::nothrow) web::WebServer(m_nPort, web::ServePage, *this, waitsForSim);
        if (m_pWebServer != nullptr)
            m_pWebServer->SetAddressSetting(
                platform::GetPrivateProfileString("Server", "WebbrowserIP", "", iniPath));
        // A server that does not wait starts at once; one that waits is started by the link.
        if (!waitsForSim && m_pWebServer != nullptr) m_pWebServer->StartWebServerThread();
    }
}

void CTarvelXConnectDlg::OnTimer(unsigned id) {
    if (id != ui::kPresenceTimerId) return;
    m_simLink.CheckSimPresence();
    // The address a tablet reaches changes with the network (a DHCP renewal, a switch from Wi-Fi
    // to cable, a VPN coming up): the label follows it.
    if (m_pWebServer != nullptr) m_pWebServer->FollowAddress();
}

void CTarvelXConnectDlg::OnClose() {
    EndDialog(1);
}

void CTarvelXConnectDlg::OnEndSession() {
    // The same goodbye as a close, now: after the window's answer the system ends the process.
    EndDialog(1);
    OnDestroy();
}

void CTarvelXConnectDlg::OnDestroy() {
    if (m_bDestroyed) return;
    m_bDestroyed = true;
    m_pView->StopPresenceTimer();
    // The skin and the font. The instance lock goes last of all (below).
    m_pView->DestroySkin();
    m_pView->DeleteAddressFont();
    // A thread that writes into the pipe (a probe, a key) gives up on a gauge that has stopped
    // reading, so that the joins below end at once whatever the gauge does.
    if (m_pWebServer != nullptr) m_pWebServer->StopPipeWaits();
    // The simulator worker first, so that nothing else writes into the pipe; every worker is
    // joined, also one that stopped itself on the simulator's quit a moment ago.
    m_simLink.JoinSimconnectThreads();
    m_simLink.ClearSimConnect();
    if (m_pWebServer != nullptr) {
        // Tell the gauge we are going while the link is up.
        if (m_simLink.IsOnline()) m_pWebServer->SendClose();
        // The server thread, its connection and the server object.
        m_pWebServer->StopWebServerThread(true);
        m_pWebServer->CloseClient();
        delete m_pWebServer;
        m_pWebServer = nullptr;
    }
    // The log's last line: no thread of ours is left to write after it.
    if (LogFile.IsOpen()) {
        LogLine(LogFile, "TarvelXConnectExtended.exe: END.\n");
        LogFile.Close();
    }
    // The window itself.
    m_pView->DestroyWindow();
    // The instance lock, held until everything above has stopped: a second copy started
    // during the shutdown is refused, and one started after it finds the port free.
    m_instanceLock.Unlock();
}

}  // namespace app

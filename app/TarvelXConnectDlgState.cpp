// The main window object's construction and the hand-over of work to the window thread.

#include <utility>

#include "app/TarvelXConnectDlg.h"
#include "platform/Paths.h"

namespace app {

std::string CTarvelXConnectDlg::DefaultSettingsFolder() {
    return platform::SettingsFolder();
}

CTarvelXConnectDlg::CTarvelXConnectDlg(std::string settingsFolder)
    : m_settingsFolder(std::move(settingsFolder)),
      m_simLink(*this, IniPath()),
      m_pView(ui::MakeMainWindowView(*this)) {}

CTarvelXConnectDlg::~CTarvelXConnectDlg() = default;

CTarvelXConnectDlg::Position CTarvelXConnectDlg::ComputeWindowPosition(int usableWidth,
                                                                       int usableHeight) {
    // Centred, with x brought down to a multiple of 8; every division truncates toward zero.
    const int x = ((usableWidth - ui::kWindowWidth) / 2) / 8 * 8;
    const int y = (usableHeight - ui::kWindowHeight) / 2;
    return {x, y};
}

void CTarvelXConnectDlg::EndDialog(int result) {
    int expected = 0;
    m_nEndResult.compare_exchange_strong(expected, result);
}

void CTarvelXConnectDlg::RequestClose() {
    // The flag covers a request that comes before the loop runs; the quit wakes a waiting loop.
    // The quit goes first: a loop that saw the flag could end and shut the window system down
    // while the quit is still on its way into the system's queue.
    m_pView->PostQuit();
    m_bCloseRequested = true;
}

void CTarvelXConnectDlg::PostToWindowThread(std::function<void()> task) {
    {
        platform::MutexLock lock(m_postedMutex);
        m_posted.push_back(std::move(task));
    }
    // Without a window loop yet, the tasks run when it starts.
    m_pView->WakeEventLoop();
}

void CTarvelXConnectDlg::RunPostedTasks() {
    for (;;) {
        std::function<void()> task;
        {
            platform::MutexLock lock(m_postedMutex);
            if (m_posted.empty()) return;
            task = std::move(m_posted.front());
            m_posted.pop_front();
        }
        task();
    }
}

}  // namespace app

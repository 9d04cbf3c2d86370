// The main window object's construction and the hand-over of work to the window thread.

#include <utility>

#include "app/TarvelXConnectDlg.h"
#include "platform/Paths.h"

std::string CTarvelXConnectDlg::DefaultSettingsFolder() { return platform::SettingsFolder(); }

CTarvelXConnectDlg::CTarvelXConnectDlg(std::string settingsFolder)
    : m_szSettingsFolder(std::move(settingsFolder)) {}

CTarvelXConnectDlg::~CTarvelXConnectDlg() = default;

SDL_Point CTarvelXConnectDlg::ComputeWindowPosition(int usableWidth, int usableHeight) {
    // Centred, with x brought down to a multiple of 8; every division truncates toward zero.
    const int x = ((usableWidth - kWindowWidth) / 2) / 8 * 8;
    const int y = (usableHeight - kWindowHeight) / 2;
    return {x, y};
}

void CTarvelXConnectDlg::EndDialog(int result) {
    int expected = 0;
    m_nEndResult.compare_exchange_strong(expected, result);
}

void CTarvelXConnectDlg::RequestClose() {
    // The flag covers a request that comes before the loop runs; the event wakes a waiting loop.
    // The event goes first: a loop that saw the flag could end and shut SDL down while the push
    // is still inside SDL's queue.
    if (m_nPostedEvent != 0) {
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    }
    m_bCloseRequested = true;
}

void CTarvelXConnectDlg::PostToWindowThread(std::function<void()> task) {
    {
        platform::MutexLock lock(m_postedMutex);
        m_posted.push_back(std::move(task));
    }
    if (m_nPostedEvent == 0) return;  // no window loop yet: the tasks run when it starts
    SDL_Event wake{};
    wake.type = m_nPostedEvent;
    SDL_PushEvent(&wake);
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

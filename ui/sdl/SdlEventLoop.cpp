// SDL's start and end for a run of the main window, its event loop, the wake of the loop from
// other threads and the presence timer.

#include <cstdio>

#include "ui/MessageBox.h"
#include "ui/sdl/SdlMainWindowView.h"

namespace ui {

int SdlMainWindowView::CountPush(void* userdata, SDL_Event*) {
    auto* wakeup = static_cast<QueueWakeup*>(userdata);
    {
        platform::MutexLock lock(wakeup->mutex);
        ++wakeup->count;
    }
    wakeup->pushed.SignalAll();
    return 0;
}

bool SdlMainWindowView::StartWindowSystem() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_WINDOW_NO_ACTIVATION_WHEN_SHOWN, "1");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "Cannot start the window system: %s\n", SDL_GetError());
        return false;
    }
    const Uint32 first = SDL_RegisterEvents(2);
    m_nTimerEvent = first;
    m_nPostedEvent = first + 1;
    SDL_AddEventWatch(CountPush, &m_wakeup);
    m_bNativeWait = ui::HasDisplay();
    return true;
}

void SdlMainWindowView::StopWindowSystem() {
    SDL_DelEventWatch(CountPush, &m_wakeup);
    {
        platform::MutexLock lock(m_quitMutex);
        m_nPostedEvent = 0;
    }
    SDL_Quit();
}

void SdlMainWindowView::RunEventLoop() {
    while (!m_dlg.IsEnded()) {
        if (m_dlg.IsCloseRequested()) {
            m_dlg.OnClose();
            continue;
        }
        uint64_t seen;
        {
            platform::MutexLock lock(m_wakeup.mutex);
            seen = m_wakeup.count;
        }
        SDL_Event event;
        bool got = SDL_PollEvent(&event) != 0;
        if (!got && m_bNativeWait) {
            got = SDL_WaitEvent(&event) != 0;
        } else if (!got) {
            // A poll stops at SDL's end-of-poll marker even when events were pushed behind it;
            // those are already counted, so waiting for the next push would leave them queued
            // until then.
            if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) continue;
            platform::MutexLock lock(m_wakeup.mutex);
            while (m_wakeup.count == seen) m_wakeup.pushed.Wait(m_wakeup.mutex);
            continue;
        }
        if (!got) continue;
        if (event.type == m_nPostedEvent) {
            m_dlg.RunPostedTasks();
        } else if (event.type == m_nTimerEvent) {
            // Cleared before the check runs, so a tick that comes due during a long check is
            // kept for afterwards.
            m_bPresenceTickPending = false;
            m_dlg.OnTimer(static_cast<unsigned>(event.user.code));
        } else if (event.type == SDL_QUIT) {
            m_dlg.OnClose();
        } else {
            HandleEvent(event);
        }
    }
}

void SdlMainWindowView::WakeEventLoop() {
    // Under the lock, as PostQuit: a wake that comes while SDL shuts down never pushes into a
    // queue being torn down.
    platform::MutexLock lock(m_quitMutex);
    const Uint32 type = m_nPostedEvent;
    if (type == 0) return;
    SDL_Event wake{};
    wake.type = type;
    SDL_PushEvent(&wake);
}

void SdlMainWindowView::PostQuit() {
    platform::MutexLock lock(m_quitMutex);
    if (m_nPostedEvent == 0) return;
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
}

void SdlMainWindowView::StartPresenceTimer(unsigned id, unsigned periodMs) {
    m_nTimerCode = id;
    m_nTimerId = SDL_AddTimer(periodMs, OnPresenceTimer, this);
}

void SdlMainWindowView::StopPresenceTimer() {
    if (m_nTimerId == 0) return;
    SDL_RemoveTimer(m_nTimerId);
    m_nTimerId = 0;
}

Uint32 SdlMainWindowView::OnPresenceTimer(Uint32 interval, void* param) {
    // One tick waits at most, as with a window timer: a window thread held up for seconds (up to
    // 5 s by a worker's stop wait) then checks once, not once for every second it missed.
    auto* view = static_cast<SdlMainWindowView*>(param);
    if (view->m_bPresenceTickPending.exchange(true)) return interval;
    SDL_Event tick{};
    tick.type = view->m_nTimerEvent;
    tick.user.code = static_cast<Sint32>(view->m_nTimerCode.load());
    // A tick the queue refused never arrives, so it must not block the ones after it.
    if (SDL_PushEvent(&tick) != 1) view->m_bPresenceTickPending = false;
    return interval;
}

}  // namespace ui

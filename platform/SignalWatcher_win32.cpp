#include <windows.h>

#include <csignal>

#include "platform/Mutex.h"
#include "platform/SignalWatcher.h"

namespace platform {
namespace {

// The system calls the console handler on a thread of its own, with no way to pass it an object:
// the watcher's callback is process-wide. There is one watcher in the program.
// Set by Start and emptied by Stop (the watcher's owner); read by the system's handler thread.
Mutex g_watcherMutex;
std::function<void(int)> g_onSignal GUARDED_BY(g_watcherMutex);  // empty while no watcher runs

// How long a close, logoff or shutdown event is held so that the shutdown it started can run:
// the system ends the process as soon as the handler returns (and on its own after a few seconds).
constexpr DWORD kCloseGraceMs = 10000;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    int signal = 0;
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            signal = SIGINT;
            break;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            signal = SIGTERM;
            break;
        default:
            return FALSE;
    }
    {
        // Called under the lock, so that Stop() waits for a call under way: once it returns, the
        // object the callback closes may go.
        MutexLock lock(g_watcherMutex);
        if (!g_onSignal) return FALSE;  // the system's default: end the process
        g_onSignal(signal);
    }
    // The end of the run ends this thread with the process.
    if (signal == SIGTERM) ::Sleep(kCloseGraceMs);
    return TRUE;
}

}  // namespace

// Windows has no signals to keep from other threads: console events arrive on a thread the
// system makes for them.
void SignalWatcher::BlockTerminationSignals() {}

SignalWatcher::~SignalWatcher() {
    Stop();
}

void SignalWatcher::Start(std::function<void(int)> onSignal) {
    Stop();
    {
        MutexLock lock(g_watcherMutex);
        g_onSignal = std::move(onSignal);
    }
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void SignalWatcher::Stop() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    MutexLock lock(g_watcherMutex);
    g_onSignal = nullptr;
}

}  // namespace platform

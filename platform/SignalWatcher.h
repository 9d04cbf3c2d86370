#pragma once
// Turns a termination request into a call on an ordinary thread, so that it can close the window
// and let shutdown run in its order. On Linux SIGINT and SIGTERM, taken by a watcher thread of its
// own; BlockTerminationSignals() must run first thing in main(), before any thread exists, so that
// no other thread receives them (SignalWatcher_posix.cpp). On Windows the console's events: Ctrl+C
// and Ctrl+Break come as SIGINT; closing the console, logoff and shutdown as SIGTERM, on the thread
// the system makes for them (SignalWatcher_win32.cpp).

#include <functional>
#include <thread>

namespace platform {

class SignalWatcher {
  public:
    static void BlockTerminationSignals();

    SignalWatcher() = default;
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    // Calls `onSignal` with the signal number, on the watcher's own thread, for every SIGINT or
    // SIGTERM until Stop().
    void Start(std::function<void(int)> onSignal);
    void Stop();

  private:
    std::thread m_thread;  // Linux's watcher
};

}  // namespace platform

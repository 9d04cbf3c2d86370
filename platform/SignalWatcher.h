#pragma once
// Turns SIGINT and SIGTERM into a call on an ordinary thread, so that a termination request can
// close the window and let shutdown run in its order. BlockTerminationSignals() must run first
// thing in main(), before any thread exists, so that no other thread receives them.

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
    std::thread m_thread;
};

}  // namespace platform

#include <pthread.h>
#include <signal.h>

#include "platform/SignalWatcher.h"

namespace platform {
namespace {

// SIGUSR2 is our own wake-up to end the watcher.
sigset_t WatchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR2);
    return set;
}

}  // namespace

void SignalWatcher::BlockTerminationSignals() {
    const sigset_t set = WatchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalWatcher::~SignalWatcher() {
    Stop();
}

void SignalWatcher::Start(std::function<void(int)> onSignal) {
    Stop();
    m_thread = std::thread([onSignal = std::move(onSignal)] {
        const sigset_t set = WatchedSignals();
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0) continue;
            if (signal == SIGUSR2) return;
            onSignal(signal);
        }
    });
}

void SignalWatcher::Stop() {
    if (!m_thread.joinable()) return;
    pthread_kill(m_thread.native_handle(), SIGUSR2);
    m_thread.join();
}

}  // namespace platform

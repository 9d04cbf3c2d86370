#include "platform/WorkerThread.h"

#include <system_error>

namespace platform {

std::unique_ptr<WorkerThread> WorkerThread::Start(std::function<void()> body) {
    std::unique_ptr<WorkerThread> worker(new WorkerThread());
    auto completion = std::make_shared<Completion>();
    worker->m_completion = completion;
    try {
        worker->m_thread = std::thread([completion, body = std::move(body)]() {
            body();
            MutexLock lock(completion->mutex);
            completion->done = true;
            completion->ended.SignalAll();
        });
    } catch (const std::system_error&) {
        return nullptr;
    }
    return worker;
}

WorkerThread::~WorkerThread() {
    if (!m_thread.joinable()) return;
    // Joining an ended thread reclaims it at once; one still running (or this very thread
    // releasing its own handle) is left to finish by itself.
    if (!IsCurrentThread() && HasEnded()) {
        m_thread.join();
    } else {
        m_thread.detach();
    }
}

bool WorkerThread::WaitFor(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Completion& completion = *m_completion;
    MutexLock lock(completion.mutex);
    while (!completion.done) {
        if (!completion.ended.WaitUntil(completion.mutex, deadline)) break;
    }
    return completion.done;
}

bool WorkerThread::HasEnded() {
    Completion& completion = *m_completion;
    MutexLock lock(completion.mutex);
    return completion.done;
}

bool WorkerThread::IsCurrentThread() const {
    return m_thread.get_id() == std::this_thread::get_id();
}

}  // namespace platform

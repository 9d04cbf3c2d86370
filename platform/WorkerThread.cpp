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
    // A thread joining itself would never return; std::thread reports it as an error, which in a
    // destructor ends the process at once rather than leave a thread running unowned.
    if (m_thread.joinable()) m_thread.join();
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

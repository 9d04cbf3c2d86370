#pragma once
// A started thread whose end can be awaited with a time bound. Owning the object is owning the
// "thread handle": destroying it releases the handle exactly once. A thread that has not ended
// by then is detached and runs on to its own end; its completion state lives on beside it.

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "platform/Mutex.h"

namespace platform {

class WorkerThread {
  public:
    // Starts `body` on a new thread at once. Null when the thread cannot be created.
    static std::unique_ptr<WorkerThread> Start(std::function<void()> body);

    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Waits until the thread's body has returned, at most `timeout`. True when it has.
    bool WaitFor(std::chrono::milliseconds timeout);
    bool HasEnded();
    // True when called on this very thread.
    bool IsCurrentThread() const;

  private:
    // Shared by the thread and the object, which may go first. The thread sets `done` as its
    // body returns; the object's waits read it.
    struct Completion {
        Mutex mutex;
        CondVar ended;
        bool done GUARDED_BY(mutex) = false;
    };
    WorkerThread() = default;

    std::shared_ptr<Completion> m_completion;
    std::thread m_thread;
};

}  // namespace platform

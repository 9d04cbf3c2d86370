#pragma once
// A started thread whose end can be awaited with a time bound and which is always joined. Owning
// the object is owning the "thread handle": destroying it waits for the thread's end and releases
// the handle exactly once, so a thread never outlives what its owner keeps alive for it. A thread
// therefore never destroys its own handle; one that ends by itself hands it to its owner, who
// joins it later.

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

    // Joins the thread: whatever its body waits on must have been woken first.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Waits until the thread's body has returned, at most `timeout`. True when it has.
    bool WaitFor(std::chrono::milliseconds timeout);
    bool HasEnded();
    // True when called on this very thread.
    bool IsCurrentThread() const;

  private:
    // Shared by the thread and the object. The thread sets `done` as its body returns; the
    // object's waits read it.
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

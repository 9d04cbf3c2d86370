#pragma once
// A started thread whose end can be awaited with a time bound. Owning the object is owning the
// "thread handle": destroying it releases the handle exactly once. A thread that has not ended
// by then is detached and runs on to its own end; its completion state lives on beside it.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

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
    struct Completion {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;  // guarded by mutex
    };
    WorkerThread() = default;

    std::shared_ptr<Completion> m_completion;
    std::thread m_thread;
};

}  // namespace platform

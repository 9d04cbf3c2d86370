#pragma once
// A std::mutex that clang's thread-safety analysis understands, its scoped lock, and the condition
// variable that waits on it.

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/ThreadAnnotations.h"

namespace platform {

class CondVar;

class CAPABILITY("mutex") Mutex {
  public:
    void Lock() ACQUIRE() { m_mutex.lock(); }
    void Unlock() RELEASE() { m_mutex.unlock(); }

  private:
    friend class CondVar;
    std::mutex m_mutex;
};

class SCOPED_CAPABILITY MutexLock {
  public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : m_mutex(mutex) { m_mutex.Lock(); }
    ~MutexLock() RELEASE() { m_mutex.Unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

  private:
    Mutex& m_mutex;
};

// Waits for a change of state that a Mutex guards. A waiter holds the mutex, tests the state,
// and waits while it is not what it needs; the waker changes the state under the same mutex and
// then signals. Waits may end without a signal, so every waiter tests its state again in a loop
// (a predicate would run outside the analysis, which cannot see that the mutex is held there).
class CondVar {
  public:
    // Releases `mutex`, waits for a signal, and holds `mutex` again before it returns.
    void Wait(Mutex& mutex) REQUIRES(mutex) {
        std::unique_lock<std::mutex> lock(mutex.m_mutex, std::adopt_lock);
        m_changed.wait(lock);
        lock.release();  // still held: the caller's lock releases it
    }
    // As Wait, but gives up at `deadline`: false when it passed without a signal.
    bool WaitUntil(Mutex& mutex, std::chrono::steady_clock::time_point deadline) REQUIRES(mutex) {
        std::unique_lock<std::mutex> lock(mutex.m_mutex, std::adopt_lock);
        const bool signalled = m_changed.wait_until(lock, deadline) == std::cv_status::no_timeout;
        lock.release();
        return signalled;
    }
    // Wakes one waiter, or every waiter.
    void Signal() { m_changed.notify_one(); }
    void SignalAll() { m_changed.notify_all(); }

  private:
    std::condition_variable m_changed;
};

}  // namespace platform

#pragma once
// A std::mutex that clang's thread-safety analysis understands, and its scoped lock.

#include <mutex>

#include "platform/ThreadAnnotations.h"

namespace platform {

class CAPABILITY("mutex") Mutex {
  public:
    void Lock() ACQUIRE() { m_mutex.lock(); }
    void Unlock() RELEASE() { m_mutex.unlock(); }
    // For std::condition_variable_any and std::unique_lock.
    void lock() ACQUIRE() { m_mutex.lock(); }
    void unlock() RELEASE() { m_mutex.unlock(); }

  private:
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

}  // namespace platform

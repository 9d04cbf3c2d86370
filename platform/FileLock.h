#pragma once
// The lock that keeps the program to one instance, held from a successful TryLock until Unlock or
// destruction. On Linux an exclusive advisory lock (flock) on a file (FileLock_posix.cpp); on
// Windows a named mutex, the "path" being its name (FileLock_win32.cpp). The system drops it when
// the process ends in any way, crash included, so a stale lock never blocks a later run.

#include <cstdint>
#include <string>

namespace platform {

class FileLock {
  public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Creates the file if needed (and its parent folder, when that is the runtime folder's own
    // sub-folder) and takes the lock without blocking. False when another holder has it or the
    // file cannot be opened. On Windows: creates the mutex, false when it exists already (in this
    // process too) or cannot be made.
    bool TryLock(const std::string& path);
    void Unlock();
    bool IsLocked() const { return m_handle != kNoHandle; }

    // True when some other open file description holds the lock on `path` right now. A missing
    // file means nobody holds it. Never creates the file. On Windows: the mutex exists.
    static bool IsHeldElsewhere(const std::string& path);

  private:
    // A descriptor on Linux, a HANDLE on Windows; neither system hands out this value.
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t m_handle = kNoHandle;
};

}  // namespace platform

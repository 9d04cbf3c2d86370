#pragma once
// An exclusive advisory lock on a file (flock), held from a successful TryLock until Unlock or
// destruction. The kernel drops it when the process ends in any way, crash included, so a stale
// lock file never blocks a later run.

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
    // file cannot be opened.
    bool TryLock(const std::string& path);
    void Unlock();
    bool IsLocked() const { return m_fd >= 0; }

    // True when some other open file description holds the lock on `path` right now. A missing
    // file means nobody holds it. Never creates the file.
    static bool IsHeldElsewhere(const std::string& path);

private:
    int m_fd = -1;
};

}  // namespace platform

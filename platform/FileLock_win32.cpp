#include <windows.h>

#include "platform/FileLock.h"

namespace platform {

FileLock::~FileLock() {
    Unlock();
}

bool FileLock::TryLock(const std::string& path) {
    Unlock();
    // Owned from the start; a name that exists already belongs to another instance.
    const HANDLE mutex = ::CreateMutexA(nullptr, TRUE, path.c_str());
    if (mutex == nullptr) return false;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(mutex);
    return true;
}

void FileLock::Unlock() {
    if (m_handle == kNoHandle) return;
    const HANDLE mutex = reinterpret_cast<HANDLE>(m_handle);
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
    m_handle = kNoHandle;
}

bool FileLock::IsHeldElsewhere(const std::string& path) {
    const HANDLE mutex = ::OpenMutexA(SYNCHRONIZE, FALSE, path.c_str());
    if (mutex != nullptr) {
        ::CloseHandle(mutex);
        return true;
    }
    // A mutex of that name that this account may not open is held all the same.
    return ::GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace platform

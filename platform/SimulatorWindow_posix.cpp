#include "platform/FileLock.h"
#include "platform/Paths.h"
#include "platform/SimulatorWindow.h"

namespace platform {

bool SimulatorWindowExists() {
    // A lock attempt that fails because another process holds the lock: the window is up.
    return FileLock::IsHeldElsewhere(SimulatorPresenceLockPath());
}

}  // namespace platform

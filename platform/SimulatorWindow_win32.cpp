#include <windows.h>

#include "platform/SimulatorWindow.h"

namespace platform {

bool SimulatorWindowExists() {
    return ::FindWindowA("FS98MAIN", nullptr) != nullptr;
}

}  // namespace platform

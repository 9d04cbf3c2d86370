#include <windows.h>
// windows.h names the A or W function after the setting of UNICODE; this file means its own.
#undef GetPrivateProfileInt

#include "platform/ProfileReader.h"

namespace platform {

// Windows has the profile functions themselves.
int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path) {
    // The result is a UINT; a negative value comes back as its 32-bit pattern.
    return static_cast<int>(
        ::GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, path.c_str()));
}

}  // namespace platform

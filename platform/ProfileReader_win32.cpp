#include "platform/ProfileReader.h"
#include "platform/WindowsHeader_win32.h"

namespace platform {

// Windows has the profile functions themselves.
int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path) {
    // The result is a UINT; a negative value comes back as its 32-bit pattern.
    return static_cast<int>(
        ::GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, path.c_str()));
}

}  // namespace platform

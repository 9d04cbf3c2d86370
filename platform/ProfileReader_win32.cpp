#include "platform/ProfileReader.h"
#include "platform/Utf16_win32.h"
#include "platform/WindowsHeader_win32.h"

namespace platform {

// Windows has the profile functions themselves; the wide one, as the INI file lives in the
// user's documents folder, whose name the ANSI code page may not hold.
int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path) {
    // The result is a UINT; a negative value comes back as its 32-bit pattern.
    return static_cast<int>(::GetPrivateProfileIntW(WideFromUtf8(section).c_str(),
                                                    WideFromUtf8(key).c_str(), defaultValue,
                                                    WideFromUtf8(path).c_str()));
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path) {
    wchar_t value[260] = {};
    const DWORD length = ::GetPrivateProfileStringW(
        WideFromUtf8(section).c_str(), WideFromUtf8(key).c_str(),
        WideFromUtf8(defaultValue).c_str(), value, 260, WideFromUtf8(path).c_str());
    return Utf8FromWide(value, length);
}

}  // namespace platform

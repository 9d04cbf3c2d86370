#pragma once
// Integer and text settings from an INI file, read by the rules of the Windows profile functions:
// section and key names compared without regard to letter case, blanks around names and values
// ignored, the first matching section and key win, the value read as a leading optionally signed
// decimal integer (no digits: 0; too many digits wrap as 32-bit), and a missing file, section or
// key gives the default. Windows answers with GetPrivateProfileIntW itself
// (ProfileReader_win32.cpp), Linux with a reader of its own (ProfileReader_posix.cpp).

#include <string>

namespace platform {

int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path);

// A text value, blanks around it taken off (GetPrivateProfileStringW on Windows); `defaultValue`
// when the file, section or key is missing. At most 259 characters are kept.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path);

}  // namespace platform

#include <windows.h>

#include "platform/FileAccess.h"
#include "platform/Utf16_win32.h"

namespace platform {

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return ::_wfopen(WideFromUtf8(path).c_str(), WideFromUtf8(mode).c_str());
}

bool FileExists(const std::string& path) {
    return ::GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace platform

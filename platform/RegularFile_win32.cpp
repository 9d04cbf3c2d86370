// Reading a regular file with the Windows file calls.

#include <windows.h>

#include <algorithm>

#include "platform/RegularFile.h"
#include "platform/Utf16_win32.h"
#include "platform/WindowsError.h"

namespace platform {

Result<std::string> ReadRegularFile(const std::string& path) {
    // Shared with writers and renamers: the gauge replaces its picture while tablets fetch it. A
    // folder cannot be opened this way (error 5).
    const HANDLE file = ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {Status(ErrorKind::kCannotOpen, static_cast<int>(::GetLastError()))};
    // Reserved device names ("NUL.png", "COM1.jpg") open a device, which may never answer a read.
    LARGE_INTEGER size{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size)) {
        ::CloseHandle(file);
        return {Status(ErrorKind::kCannotOpen, ERROR_INVALID_PARAMETER)};
    }
    std::string content(static_cast<size_t>(size.QuadPart), '\0');
    size_t got = 0;
    while (got < content.size()) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(content.size() - got, 1u << 30));
        DWORD read = 0;
        if (!::ReadFile(file, content.data() + got, want, &read, nullptr)) {
            const DWORD error = ::GetLastError();
            ::CloseHandle(file);
            return {WindowsError(error)};
        }
        if (read == 0) break;  // the file shrank while being read
        got += read;
    }
    ::CloseHandle(file);
    content.resize(got);
    return {Status(), std::move(content)};
}

}  // namespace platform

// The program's files as Windows describes them: module names, the VERSIONINFO resource and the
// file's attributes.

#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/ModuleFile.h"
#include "platform/Utf16_win32.h"
#include "platform/WindowsError.h"

namespace platform {
namespace {

// The file name of `module` (null: the executable), however long it is, in UTF-8: a program
// installed under a name outside the ANSI code page must still find its own version resource.
std::string ModuleFileName(HMODULE module) {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        // A name that filled the buffer may have been cut.
        if (length < path.size()) return Utf8FromWide(path.data(), length);
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

// Seconds between the file time's epoch (1601) and time_t's (1970), and file time units (100 ns)
// per second.
constexpr unsigned long long kEpochDifference = 11644473600ULL;
constexpr unsigned long long kFileTimeUnits = 10000000ULL;

}  // namespace

std::string ExecutablePath() {
    return ModuleFileName(nullptr);
}

std::string ModulePath(const void* address) {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module))
        return {};
    return ModuleFileName(module);
}

std::string FileVersionText(const std::string& path) {
    const std::wstring widePath = WideFromUtf8(path);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<unsigned char> info(size);
    if (!::GetFileVersionInfoW(widePath.c_str(), 0, size, info.data())) return {};
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(info.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
        return {};
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    if (fixed->dwSignature != VS_FFI_SIGNATURE) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS),
                  LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                  LOWORD(fixed->dwFileVersionLS));
    return text;
}

Result<std::time_t> FileWriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!::GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &attributes))
        return {WindowsError(::GetLastError())};
    const unsigned long long units =
        (static_cast<unsigned long long>(attributes.ftLastWriteTime.dwHighDateTime) << 32) |
        attributes.ftLastWriteTime.dwLowDateTime;
    const unsigned long long seconds = units / kFileTimeUnits;
    // Before 1970: no time_t for it.
    if (seconds < kEpochDifference) return {Status(ErrorKind::kFailed, 0, "written before 1970")};
    return {Status(), static_cast<std::time_t>(seconds - kEpochDifference)};
}

}  // namespace platform

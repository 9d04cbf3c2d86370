#include <windows.h>
// The shell's declarations need windows.h's types first.
#include <shlobj.h>

#include <cwchar>

#include "platform/ModuleFile.h"
#include "platform/Paths.h"
#include "platform/Utf16_win32.h"

namespace platform {

std::string DocumentsFolder() {
    wchar_t path[MAX_PATH] = {};
    // The folder as it is now (it may have been moved), never created here. Asked in UTF-16: the
    // ANSI answer turns a user name outside the code page into question marks.
    if (::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        return {};
    std::string folder = Utf8FromWide(path, ::wcslen(path));
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return folder;
}

std::string SettingsFolder() {
    std::string documents = DocumentsFolder();
    // A shell that cannot name the documents folder leaves the program's own folder, rather
    // than a path relative to whatever the working folder happens to be.
    if (documents.empty()) documents = ExecutableFolder();
    return documents + "\\Quennick\\Tarvel\\";
}

std::string ExecutableFolder() {
    const std::string folder = ExecutablePath();
    const size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

std::string RuntimePath(const std::string& name) {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH + 1) return name;
    return Utf8FromWide(folder, length) + name;
}

std::string InstanceLockPath() {
    return "TarvelXLoadManagerMutex";
}

std::string SimulatorPresenceLockPath() {
    return "FS98MAIN";
}

std::string McduPipePath() {
    return "\\\\.\\pipe\\MCDU_Input";
}

}  // namespace platform

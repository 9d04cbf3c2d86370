#include <windows.h>
// The shell's declarations need windows.h's types first.
#include <shlobj.h>

#include "platform/Paths.h"

namespace platform {

std::string DocumentsFolder() {
    char path[MAX_PATH] = {};
    // The folder as it is now (it may have been moved), never created here.
    if (::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        return {};
    std::string folder = path;
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
    char path[MAX_PATH * 4] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return {};
    std::string folder(path, length);
    const size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

std::string RuntimePath(const std::string& name) {
    char folder[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > sizeof folder) return name;
    return std::string(folder, length) + name;
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

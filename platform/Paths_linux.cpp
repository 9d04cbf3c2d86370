#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/Paths.h"

namespace platform {
namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    // Without HOME, the account's home from the password database, as the shell would use.
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return "/";
}

// Reads XDG_DOCUMENTS_DIR="..." from user-dirs.dirs the way xdg-user-dir does: the value may start
// with $HOME/, or be an absolute path; anything else is ignored.
std::string DocumentsFromUserDirs(const std::string& home) {
    const std::string config = EnvOr("XDG_CONFIG_HOME", home + "/.config");
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.compare(start, key.size(), key) != 0) continue;
        std::string value = line.substr(start + key.size());
        while (!value.empty() &&
               (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) {
            found = home + value.substr(5);
        } else if (!value.empty() && value.front() == '/') {
            found = value;
        }
    }
    while (found.size() > 1 && found.back() == '/') found.pop_back();
    return found;
}

}  // namespace

std::string DocumentsFolder() {
    const std::string home = HomeFolder();
    std::string documents = DocumentsFromUserDirs(home);
    if (documents.empty()) documents = home + "/Documents";
    return documents;
}

std::string SettingsFolder() {
    return DocumentsFolder() + "/Quennick/Tarvel/";
}

std::string ExecutableFolder() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "";
    std::string folder(path, static_cast<size_t>(length));
    const size_t slash = folder.rfind('/');
    return slash == std::string::npos ? "" : folder.substr(0, slash == 0 ? 1 : slash);
}

std::string RuntimePath(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') return std::string(runtime) + "/" + name;
    return "/tmp/" + name + "-" + std::to_string(getuid());
}

std::string InstanceLockPath() {
    return RuntimePath("TarvelXLoadManagerMutex");
}

std::string SimulatorPresenceLockPath() {
    return RuntimePath("FS98MAIN");
}

std::string McduPipePath() {
    return RuntimePath("pipe") + "/MCDU_Input";
}

}  // namespace platform

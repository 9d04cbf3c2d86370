#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "tests/support/TestSupport.h"

namespace txtest {
namespace {

// Where the shell keeps the user's folders; "Personal" is the documents folder.
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char* kDocuments = "Personal";

std::optional<std::string> DocumentsSetting() {
    char value[MAX_PATH * 4] = {};
    DWORD size = sizeof value;
    if (::RegGetValueA(HKEY_CURRENT_USER, kShellFolders, kDocuments,
                       RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, value,
                       &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(value);
}

void SetDocumentsSetting(const std::optional<std::string>& folder) {
    if (!folder) {
        ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kShellFolders, kDocuments);
        return;
    }
    ::RegSetKeyValueA(HKEY_CURRENT_USER, kShellFolders, kDocuments, REG_EXPAND_SZ, folder->c_str(),
                      static_cast<DWORD>(folder->size() + 1));
}

}  // namespace

Sandbox::Sandbox() {
    std::filesystem::create_directories(home() + "/.config");
    // The shell names a documents folder only while it exists.
    std::filesystem::create_directories(home() + "\\Documents");
    std::filesystem::create_directories(runtime());
}

Sandbox::~Sandbox() {
    for (const auto& [name, value] : m_saved)
        ::SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
    if (m_savedDocuments) SetDocumentsSetting(*m_savedDocuments);
}

std::string Sandbox::settings() const {
    return home() + "\\Documents\\Quennick\\Tarvel\\";
}

std::map<std::string, std::string> Sandbox::Env() const {
    return {
        {"HOME", home()}, {"XDG_CONFIG_HOME", home() + "/.config"}, {"XDG_RUNTIME_DIR", runtime()}};
}

void Sandbox::Apply() {
    for (const auto& [name, value] : Env()) {
        const char* old = std::getenv(name.c_str());
        m_saved.try_emplace(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
        ::SetEnvironmentVariableA(name.c_str(), value.c_str());
    }
    if (!m_savedDocuments) m_savedDocuments = DocumentsSetting();
    SetDocumentsSetting(home() + "\\Documents");
}

int OpenHandleCount() {
    DWORD count = 0;
    if (!::GetProcessHandleCount(::GetCurrentProcess(), &count)) return -1;
    return static_cast<int>(count);
}

std::string AsOrdinaryUser(const std::function<std::string()>& action) {
    return action();
}

const std::string& LogLineEnd() {
    static const std::string end = "\r\n";
    return end;
}

void UseUtcAsLocalTime() {
    ::_putenv_s("TZ", "UTC0");
    ::_tzset();
}

}  // namespace txtest

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "platform/Paths.h"
#include "tests/support/TestSupport.h"

namespace txtest {
namespace {

// One argument as the C runtime's command-line parser splits it back out: quoted, with the
// backslashes before a quote (and before the closing quote) doubled and the quote escaped.
std::string QuotedArgument(const std::string& argument) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '"') quoted.append(backslashes + 1, '\\');
        backslashes = c == '\\' ? backslashes + 1 : 0;
        quoted.push_back(c);
    }
    return quoted.append(backslashes, '\\') + "\"";
}

// A file the child inherits as its standard input, output or error.
HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool LessNoCase(const std::string& a, const std::string& b) {
    return ::_stricmp(a.c_str(), b.c_str()) < 0;
}

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

ChildProcess::~ChildProcess() {
    if (m_process != 0 && !m_status) {
        ::TerminateProcess(reinterpret_cast<HANDLE>(m_process), 137);
        Wait(std::chrono::seconds(5));
    }
    if (m_process != 0) ::CloseHandle(reinterpret_cast<HANDLE>(m_process));
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env,
                         const std::string& workDir) {
    // Variable names are compared without regard to case on Windows; the block must be sorted.
    std::map<std::string, std::string, decltype(&LessNoCase)> merged(&LessNoCase);
    char* strings = ::GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
        // Entries such as "=C:=C:\\" name drive folders: the name starts after the first byte.
        const size_t name = std::strcspn(entry + 1, "=") + 1;
        if (entry[name] == '=') merged[std::string(entry, name)] = entry + name + 1;
    }
    ::FreeEnvironmentStringsA(strings);
    for (const auto& [name, value] : env) merged[name] = value;
    std::string block;
    for (const auto& [name, value] : merged) block += name + "=" + value + '\0';
    block.push_back('\0');

    std::string commandLine = QuotedArgument(program);
    for (const std::string& argument : args) commandLine += " " + QuotedArgument(argument);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = InheritableFile(m_output.path() + "/stdout", GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = InheritableFile(m_output.path() + "/stderr", GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION started{};
    const BOOL ok = ::CreateProcessA(
        program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, block.data(),
        workDir.empty() ? nullptr : workDir.c_str(), &startup, &started);
    for (const HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    m_status.reset();
    m_pid = -1;
    if (!ok) return false;
    ::CloseHandle(started.hThread);
    if (m_process != 0) ::CloseHandle(reinterpret_cast<HANDLE>(m_process));
    m_process = reinterpret_cast<std::intptr_t>(started.hProcess);
    m_pid = static_cast<ProcessId>(started.dwProcessId);
    return true;
}

void ChildProcess::Signal(int signal) {
    if (m_process != 0 && !m_status)
        ::TerminateProcess(reinterpret_cast<HANDLE>(m_process), static_cast<UINT>(128 + signal));
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
    if (m_status || m_process == 0) return m_status;
    const HANDLE process = reinterpret_cast<HANDLE>(m_process);
    const DWORD waitMs = static_cast<DWORD>(std::clamp<long long>(timeout.count(), 0, INT_MAX));
    if (::WaitForSingleObject(process, waitMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    m_status = static_cast<int>(code);
    return m_status;
}

int OpenHandleCount() {
    DWORD count = 0;
    if (!::GetProcessHandleCount(::GetCurrentProcess(), &count)) return -1;
    return static_cast<int>(count);
}

std::string RunAsOrdinaryUser(const std::function<std::string()>& action) {
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

// The tests sit in the same folder as the programs they start.
std::string BinaryPath(const std::string& name) {
    return platform::ExecutableFolder() + "\\" + name + ".exe";
}

}  // namespace txtest

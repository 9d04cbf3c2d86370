#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/TestSupport.h"

extern char** environ;

namespace txtest {

Sandbox::Sandbox() {
    std::filesystem::create_directories(home() + "/.config");
    std::filesystem::create_directories(runtime());
    ::chmod(runtime().c_str(), 0700);
}

Sandbox::~Sandbox() {
    for (const auto& [name, value] : m_saved)
        value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
}

std::string Sandbox::settings() const {
    return home() + "/Documents/Quennick/Tarvel/";
}

std::map<std::string, std::string> Sandbox::Env() const {
    return {{"HOME", home()},
            {"XDG_CONFIG_HOME", home() + "/.config"},
            {"XDG_RUNTIME_DIR", runtime()},
            {"SDL_VIDEODRIVER", "dummy"},
            {"SDL_AUDIODRIVER", "dummy"}};
}

void Sandbox::Apply() {
    for (const auto& [name, value] : Env()) {
        const char* old = std::getenv(name.c_str());
        m_saved.try_emplace(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name.c_str(), value.c_str(), 1);
    }
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0 && !m_status) {
        ::kill(m_pid, SIGKILL);
        Wait(std::chrono::seconds(5));
    }
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env,
                         const std::string& workDir) {
    std::vector<std::string> envText;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (!env.count(std::string(*entry, std::strcspn(*entry, "=")))) envText.push_back(*entry);
    for (const auto& [name, value] : env) envText.push_back(name + "=" + value);
    std::vector<std::string> argvText{program};
    argvText.insert(argvText.end(), args.begin(), args.end());
    const auto pointers = [](std::vector<std::string>& texts) {
        std::vector<char*> list;
        for (auto& text : texts) list.push_back(text.data());
        list.push_back(nullptr);
        return list;
    };

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const std::string out = m_output.path() + "/stdout";
    const std::string err = m_output.path() + "/stderr";
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    const int result = posix_spawn(&m_pid, program.c_str(), &actions, nullptr,
                                   pointers(argvText).data(), pointers(envText).data());
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) m_pid = -1;
    m_status.reset();
    return result == 0;
}

bool ChildProcess::Running() {
    return m_pid > 0 && !m_status && !Wait(std::chrono::milliseconds(0)).has_value();
}

std::string ChildProcess::Stdout() const {
    return ReadFile(m_output.path() + "/stdout");
}

std::string ChildProcess::Stderr() const {
    return ReadFile(m_output.path() + "/stderr");
}

void ChildProcess::Signal(int signal) {
    if (m_pid > 0 && !m_status) ::kill(m_pid, signal);
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
    if (m_status || m_pid <= 0) return m_status;
    int status = 0;
    if (WaitUntil([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeout))
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return m_status;
}

std::string BinaryPath(const std::string& name) {
    return std::string(TX_BIN_DIR) + "/" + name;
}

int OpenHandleCount() {
    const std::filesystem::directory_iterator descriptors("/proc/self/fd");
    return static_cast<int>(std::distance(begin(descriptors), end(descriptors)));
}

std::string AsOrdinaryUser(const std::function<std::string()>& action) {
    if (::geteuid() != 0) return action();
    const gid_t group = ::getegid();
    ::setfsgid(65534);
    ::setfsuid(65534);
    std::string result = action();
    ::setfsuid(0);
    ::setfsgid(group);
    return result;
}

const std::string& LogLineEnd() {
    static const std::string end = "\n";
    return end;
}

void UseUtcAsLocalTime() {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
}

}  // namespace txtest

#pragma once
// Helpers shared by the tests: private folders, child processes, free ports, waiting. One header
// for every system; TestSupport_linux.cpp and TestSupport_win32.cpp implement it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Net.h"
#include "tests/support/TestSocket.h"

namespace txtest {

// A fresh folder under /tmp (Windows: the user's temporary folder), removed with everything in it
// when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};

// A private HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR for one test. Env() gives the environment
// for a child process; Apply() sets it on this process too (and the destructor restores it), so
// that settings() is the program's settings folder. On Windows that folder follows the shell's
// documents folder, which no variable moves: Apply() points the user's documents folder at
// home()\Documents for the sandbox's life. That is a per-user setting, which is why the Windows
// suites run one at a time, in a scratch Wine prefix of their own.
// The settings folder, once made, holds a SimConnect.cfg that names a port nobody serves (held by
// the sandbox): a program or library of the test reaches no simulator but the stand-in a test
// starts, which writes its own file.
class Sandbox {
  public:
    Sandbox();
    ~Sandbox();
    std::string home() const { return m_root.path() + "/home"; }
    std::string runtime() const { return m_root.path() + "/run"; }
    // Documents/Quennick/Tarvel/ with its trailing separator (not created until asked).
    std::string settings() const;
    void CreateSettingsFolder() const;
    void WriteIni(const std::string& content) const;
    std::string LogPath() const { return settings() + "TarvelXConnectExtended.log"; }
    std::map<std::string, std::string> Env() const;
    void Apply();

  private:
    TempDir m_root;
    UnservedPort m_unservedSimPort;
    std::map<std::string, std::optional<std::string>> m_saved;
    // Windows: the documents folder setting before Apply(); nothing when Apply() did not move it.
    std::optional<std::optional<std::string>> m_savedDocuments;
};

// A child process with its standard output and error sent to files (Linux only: the Windows
// suites start their programs from node).
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();  // kills the process if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env, const std::string& workDir = "");
    int pid() const { return m_pid; }
    bool Running();
    void Signal(int signal);
    // Exit code (128 + signal for a killed process), or nothing when it has not ended in time.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    std::string Stdout() const;
    std::string Stderr() const;

  private:
    int m_pid = -1;
    std::optional<int> m_status;
    TempDir m_output;
};

// The full path of a program built into the build tree's bin folder (Linux only).
std::string BinaryPath(const std::string& name);
int FreeTcpPort();
std::string ReadFile(const std::string& path);
// The line end the log's text mode writes: "\n" here, "\r\n" on Windows.
const std::string& LogLineEnd();
// The log file's text as the tests compare it, each LogLineEnd() read as "\n". A line feed written
// any other way shows as "<LF without CR>", so that no comparison passes over it.
std::string ReadLog(const std::string& path);
// Sets the file's last-write time to `unixSeconds`.
bool SetFileWriteTime(const std::string& path, long long unixSeconds);
// From now on the C library's local time is UTC (TZ=UTC), for this process.
void UseUtcAsLocalTime();
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);
// Polls `condition` every few milliseconds until it holds or `timeout` passes.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
// Number of lines of `text` that contain `needle`.
int CountLines(const std::string& text, const std::string& needle);
// Descriptors (Windows: handles) this process holds open; for checks that nothing leaks.
int OpenHandleCount();
// What `action` returns when it meets files with an ordinary user's rights: run as root here, with
// the file-system user and group 65534 for this thread meanwhile; as it is on Windows.
std::string AsOrdinaryUser(const std::function<std::string()>& action);
// Sends all `size` bytes on the connected socket `socket`, going on after interruptions; false
// when the peer is gone or the socket fails.
bool SendAllBytes(platform::SocketHandle socket, const void* data, size_t size);

}  // namespace txtest

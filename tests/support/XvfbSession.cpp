#include "tests/support/XvfbSession.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace txtest {

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (folder.empty()) continue;
        const std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

std::optional<std::string> RunProgram(const std::string& program,
                                      const std::vector<std::string>& args,
                                      const std::map<std::string, std::string>& env,
                                      std::chrono::milliseconds timeout) {
    if (program.empty()) return std::nullopt;
    ChildProcess child;
    if (!child.Start(program, args, env)) return std::nullopt;
    const std::optional<int> status = child.Wait(timeout);
    if (!status || *status != 0) return std::nullopt;
    return child.Stdout();
}

XvfbSession::~XvfbSession() {
    if (!m_server.Running()) return;
    m_server.Signal(SIGTERM);
    if (!m_server.Wait(std::chrono::seconds(5))) m_server.Signal(SIGKILL);
}

bool XvfbSession::OwnsLock(const std::string& lock) const {
    // The X server writes its pid, right-aligned in ten characters, into the lock file.
    const std::string text = ReadFile(lock);
    return !text.empty() && std::atol(text.c_str()) == static_cast<long>(m_server.pid());
}

bool XvfbSession::Start(int width, int height) {
    const std::string xvfb = FindProgram("Xvfb");
    if (xvfb.empty()) return false;
    // A display number that no other server (another test run, a desktop) is using.
    for (int number = 140 + ::getpid() % 50; number < 400; ++number) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
        if (FileExists(socket) || FileExists(lock)) continue;
        m_display = ":" + std::to_string(number);
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        // -noreset: by default the server resets when its last client leaves, and a client that
        // connects during that reset (the program, right after the readiness probe) is refused.
        if (!m_server.Start(
                xvfb, {m_display, "-noreset", "-screen", "0", screen, "-nolisten", "tcp"}, {})) {
            return false;
        }
        // The socket appears before the server takes clients: wait until one gets an answer.
        // Two test processes may pick the same free number at once; the loser exits, but only
        // after a probe may have been answered by the winner, so the lock file's pid decides.
        const std::string probe = FindProgram("xdotool");
        const bool ready = WaitUntil(
            [&] {
                if (!m_server.Running()) return true;
                if (!FileExists(socket) || !OwnsLock(lock)) return false;
                if (probe.empty()) return true;
                return RunProgram(probe, {"getmouselocation"}, {{"DISPLAY", m_display}},
                                  std::chrono::seconds(5))
                    .has_value();
            },
            std::chrono::seconds(20));
        if (ready && m_server.Running() && OwnsLock(lock)) return true;
        // Another server took the number in the meantime: try the next one.
        m_server.Wait(std::chrono::seconds(1));
    }
    return false;
}

std::optional<std::string> XvfbSession::Run(const std::string& tool,
                                            const std::vector<std::string>& args) {
    return RunProgram(FindProgram(tool), args, {{"DISPLAY", m_display}});
}

bool XvfbSession::Screenshot(const std::string& path) {
    return Run("import", {"-display", m_display, "-window", "root", path}).has_value();
}

}  // namespace txtest

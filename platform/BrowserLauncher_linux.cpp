#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/BrowserLauncher.h"

namespace platform {

bool OpenUrlInBrowser(const std::string& url) {
    const char* browser = std::getenv("BROWSER");
    // $BROWSER may list several programs separated by colons; the first one is used.
    std::string program = (browser != nullptr && *browser != '\0') ? browser : "xdg-open";
    if (const auto colon = program.find(':'); colon != std::string::npos) program.resize(colon);
    if (program.empty()) return false;
    char* argv[] = {program.data(), const_cast<char*>(url.c_str()), nullptr};

    // The grandchild reports a failed exec through this pipe; a successful exec closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return false;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        // Detached twice over: a session of its own, and no zombie left with us.
        ::setsid();
        if (::fork() != 0) ::_exit(0);
        const int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0) ::dup2(devnull, 0);
        ::execvp(argv[0], argv);
        const int error = errno;
        (void)!::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    return got == 0;
}

}  // namespace platform

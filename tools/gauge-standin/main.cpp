// gauge-standin: plays the aircraft's MCDU gauge on this machine. It listens on the MCDU input
// pipe, turns every key message into a change of its MCDU display and writes the display image
// into the settings folder, where the remote MCDU page fetches it.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Paths.h"
#include "tools/gauge-standin/GaugeLog.h"
#include "tools/gauge-standin/GaugeServer.h"
#include "tools/gauge-standin/McduDisplay.h"
#include "tools/gauge-standin/McduRenderer.h"

namespace {

int g_stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_stopPipe[1], &byte, 1);
    errno = saved;
}

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: gauge-standin [--settings DIR] [--socket PATH] [--log FILE]\n"
                 "  --settings DIR  folder for MCDU_Dspl.png (default: the program's settings "
                 "folder)\n"
                 "  --socket PATH   the MCDU input pipe's socket (default: "
                 "$XDG_RUNTIME_DIR/pipe/MCDU_Input)\n"
                 "  --log FILE      append the log to FILE instead of standard output\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string settings;
    std::string socketPath;
    std::string logPath;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            Usage(stdout);
            return 0;
        }
        if ((option == "--settings" || option == "--socket" || option == "--log") && i + 1 < argc) {
            std::string& target = option == "--settings" ? settings
                                  : option == "--socket" ? socketPath
                                                         : logPath;
            target = argv[++i];
            continue;
        }
        std::fprintf(stderr, "gauge-standin: unknown or incomplete option '%s'\n", option.c_str());
        Usage(stderr);
        return 2;
    }
    if (settings.empty()) settings = platform::SettingsFolder();
    if (socketPath.empty()) socketPath = platform::McduPipePath();

    GaugeLog log;
    if (!logPath.empty() && !log.Open(logPath)) {
        std::fprintf(stderr, "gauge-standin: cannot open the log file %s: %s\n", logPath.c_str(),
                     std::strerror(errno));
        return 1;
    }

    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        log.Line("GAUGE: pipe2 failed: %s", std::strerror(errno));
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    McduDisplay display;
    McduRenderer renderer;
    if (!renderer.Ready()) log.Line("GAUGE: no display image: %s", renderer.Error().c_str());
    bool renderFailing = false;
    auto render = [&] {
        if (!renderer.Ready()) return;
        std::string error;
        if (renderer.WritePng(display.Screen(), settings, &error)) {
            log.Line("GAUGE: display written: %s", display.RowText(0).c_str());
            renderFailing = false;
        } else if (!renderFailing) {
            // Said once until it works again: a missing settings folder is not created here.
            log.Line("GAUGE: display not written: %s", error.c_str());
            renderFailing = true;
        }
    };
    render();

    GaugeServer server(socketPath, log, [&](int code) {
        if (display.PressKey(code)) render();
    });
    if (!server.Listen()) return 1;
    server.Run(g_stopPipe[0]);
    log.Line("GAUGE: stopped");
    return 0;
}

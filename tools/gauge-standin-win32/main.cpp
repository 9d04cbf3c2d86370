// gauge-standin (Windows): plays the aircraft's MCDU gauge on this machine. It serves the MCDU
// input pipe, logs every message the program writes into it and, on request, fails the way a
// gauge can fail, so that the program's handling of it can be tried under Wine.

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/gauge-standin-win32/GaugePipeServer.h"
#include "tools/gauge-standin/GaugeLog.h"

namespace {

constexpr char kPipePrefix[] = "\\\\.\\pipe\\";

HANDLE g_stopEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
    ::SetEvent(g_stopEvent);
    return TRUE;
}

void Usage(FILE* out) {
    std::fprintf(
        out,
        "usage: gauge-standin [--pipe NAME] [--log FILE] [--stop-event NAME]\n"
        "                     [--disconnect-after N] [--exit-after N] [--stall-after N]\n"
        "                     [--accept-delay MS]\n"
        "  --pipe NAME           the pipe to serve (default MCDU_Input; \\\\.\\pipe\\ "
        "is put in front)\n"
        "  --log FILE            append the log to FILE instead of standard output\n"
        "  --stop-event NAME     stop cleanly once this named event is set\n"
        "  --disconnect-after N  disconnect a program after N messages (it then sees 233)\n"
        "  --exit-after N        end the stand-in after N messages (the program sees 232)\n"
        "  --stall-after N       stop reading after N messages, keeping the connection\n"
        "  --accept-delay MS     after a program went, stay busy (231) for MS ms\n");
}

bool ParseCount(const char* text, unsigned long* value) {
    char* end = nullptr;
    *value = std::strtoul(text, &end, 10);
    return *text >= '0' && *text <= '9' && *end == '\0' && *value <= 1000000000UL;
}

}  // namespace

int main(int argc, char** argv) {
    std::string pipeName = "MCDU_Input";
    std::string logPath;
    std::string stopEventName;
    GaugePipeServer::Faults faults;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            Usage(stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "gauge-standin: unknown or incomplete option '%s'\n",
                         option.c_str());
            Usage(stderr);
            return 2;
        }
        const char* value = argv[++i];
        unsigned long number = 0;
        if (option == "--pipe") {
            pipeName = value;
        } else if (option == "--log") {
            logPath = value;
        } else if (option == "--stop-event") {
            stopEventName = value;
        } else if (option == "--disconnect-after" && ParseCount(value, &number)) {
            faults.disconnectAfter = static_cast<int>(number);
        } else if (option == "--exit-after" && ParseCount(value, &number)) {
            faults.exitAfter = static_cast<int>(number);
        } else if (option == "--stall-after" && ParseCount(value, &number)) {
            faults.stallAfter = static_cast<int>(number);
        } else if (option == "--accept-delay" && ParseCount(value, &number)) {
            faults.acceptDelayMs = static_cast<DWORD>(number);
        } else {
            std::fprintf(stderr, "gauge-standin: unknown option or bad value '%s %s'\n",
                         option.c_str(), value);
            Usage(stderr);
            return 2;
        }
    }
    if (pipeName.empty()) {
        std::fprintf(stderr, "gauge-standin: empty pipe name\n");
        return 2;
    }
    if (pipeName.rfind(kPipePrefix, 0) != 0) pipeName = kPipePrefix + pipeName;

    GaugeLog log;
    if (!logPath.empty() && !log.Open(logPath)) {
        std::fprintf(stderr, "gauge-standin: cannot open the log file %s: %s\n", logPath.c_str(),
                     std::strerror(errno));
        return 1;
    }

    // Manual reset: once set, every later wait sees it too.
    g_stopEvent = ::CreateEventA(nullptr, TRUE, FALSE,
                                 stopEventName.empty() ? nullptr : stopEventName.c_str());
    if (g_stopEvent == nullptr) {
        log.Line("GAUGE: cannot create the stop event '%s' w/err %lu", stopEventName.c_str(),
                 ::GetLastError());
        return 1;
    }
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    GaugePipeServer::Ending ending = GaugePipeServer::Ending::Failed;
    {
        GaugePipeServer server(pipeName, log, faults);
        if (server.Listen()) ending = server.Run(g_stopEvent);
    }
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    ::CloseHandle(g_stopEvent);
    if (ending == GaugePipeServer::Ending::Failed) return 1;
    if (ending == GaugePipeServer::Ending::Stopped) log.Line("GAUGE: stopped");
    return 0;
}

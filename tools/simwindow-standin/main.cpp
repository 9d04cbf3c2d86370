// simwindow-standin: plays the flight simulator's main window on Windows (or under Wine), which the
// program looks for to tell whether the simulator still runs. The simulator's protocol is served
// by sim-standin on the Linux side; this is only the window.

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/simwindow-standin/SimMainWindow.h"

namespace {

// Thread messages from the standard-input reader to the window's thread, which alone may make
// and destroy the window.
constexpr UINT kShowWindow = WM_APP + 1;
constexpr UINT kHideWindow = WM_APP + 2;
constexpr UINT kQuit = WM_APP + 3;

HANDLE g_stopEvent = nullptr;
DWORD g_windowThread = 0;

BOOL WINAPI OnConsoleControl(DWORD) {
    ::SetEvent(g_stopEvent);
    return TRUE;
}

void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fputs("SIMWINDOW: ", stdout);
    std::vprintf(format, args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    va_end(args);
}

void RunCommand(const std::string& command) {
    if (command == "window show") {
        ::PostThreadMessageA(g_windowThread, kShowWindow, 0, 0);
    } else if (command == "window hide") {
        ::PostThreadMessageA(g_windowThread, kHideWindow, 0, 0);
    } else if (command == "quit") {
        ::PostThreadMessageA(g_windowThread, kQuit, 0, 0);
    } else if (!command.empty()) {
        Say("unknown command '%s' (window show, window hide, quit)", command.c_str());
    }
}

// Reads with ReadFile rather than the C library: a reader blocked inside stdio would hold the
// stream's lock, and the library's exit would wait on it for ever.
DWORD WINAPI ReadCommands(void*) {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    std::string line;
    char buffer[256];
    DWORD count = 0;
    while (::ReadFile(input, buffer, sizeof buffer, &count, nullptr) && count > 0) {
        for (DWORD i = 0; i < count; ++i) {
            if (buffer[i] != '\n') {
                if (buffer[i] != '\r') line += buffer[i];
                continue;
            }
            while (!line.empty() && line.back() == ' ') line.pop_back();
            RunCommand(line);
            line.clear();
        }
    }
    // End of input ends the run too: a test that lets go of the pipe leaves nothing behind.
    ::PostThreadMessageA(g_windowThread, kQuit, 0, 0);
    return 0;
}

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: simwindow-standin [--seconds N] [--stop-event NAME] [--stdin]\n"
                 "                         [--title TEXT] [--visible] [--no-window]\n"
                 "  --seconds N       end after N seconds\n"
                 "  --stop-event NAME end once this named event is set\n"
                 "  --stdin           take commands on standard input: window show, window hide,\n"
                 "                    quit (end of input ends it too)\n"
                 "  --title TEXT      the window's title (default \"Microsoft Flight Simulator "
                 "X\")\n"
                 "  --visible         show the window (it is hidden otherwise)\n"
                 "  --no-window       start without the window (until 'window show')\n");
}

bool ShowWindowSaying(SimMainWindow& window) {
    const DWORD error = window.Show();
    if (error != 0) {
        Say("cannot make the %s window w/err %lu", SimMainWindow::kClassName, error);
        return false;
    }
    Say("window up: class %s, handle 0x%llx", SimMainWindow::kClassName,
        static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window.Handle())));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long seconds = 0;
    std::string stopEventName;
    std::string title = "Microsoft Flight Simulator X";
    bool commandsOnStdin = false;
    bool visible = false;
    bool windowAtStart = true;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            Usage(stdout);
            return 0;
        }
        if (option == "--stdin") {
            commandsOnStdin = true;
        } else if (option == "--visible") {
            visible = true;
        } else if (option == "--no-window") {
            windowAtStart = false;
        } else if (option == "--seconds" && i + 1 < argc) {
            char* end = nullptr;
            const char* value = argv[++i];
            seconds = std::strtoul(value, &end, 10);
            if (*value < '0' || *value > '9' || *end != '\0' || seconds == 0 || seconds > 86400) {
                std::fprintf(stderr, "simwindow-standin: bad number of seconds '%s'\n", value);
                return 2;
            }
        } else if (option == "--stop-event" && i + 1 < argc) {
            stopEventName = argv[++i];
        } else if (option == "--title" && i + 1 < argc) {
            title = argv[++i];
        } else {
            std::fprintf(stderr, "simwindow-standin: unknown or incomplete option '%s'\n",
                         option.c_str());
            Usage(stderr);
            return 2;
        }
    }

    g_stopEvent = ::CreateEventA(nullptr, TRUE, FALSE,
                                 stopEventName.empty() ? nullptr : stopEventName.c_str());
    if (g_stopEvent == nullptr) {
        Say("cannot create the stop event '%s' w/err %lu", stopEventName.c_str(), ::GetLastError());
        return 1;
    }
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    g_windowThread = ::GetCurrentThreadId();
    // The thread's message queue must exist before the reader posts to it.
    MSG message{};
    ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);

    SimMainWindow window(title, visible);
    if (windowAtStart && !ShowWindowSaying(window)) return 1;
    if (commandsOnStdin) {
        const HANDLE reader = ::CreateThread(nullptr, 0, ReadCommands, nullptr, 0, nullptr);
        if (reader == nullptr) {
            Say("cannot start the command reader w/err %lu", ::GetLastError());
            return 1;
        }
        // It may sit in a read for ever: the process's end takes it along.
        ::CloseHandle(reader);
    }

    const ULONGLONG deadline = seconds > 0 ? ::GetTickCount64() + seconds * 1000ULL : 0;
    const char* why = nullptr;
    while (why == nullptr) {
        DWORD timeout = INFINITE;
        if (deadline != 0) {
            const ULONGLONG now = ::GetTickCount64();
            timeout = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        }
        const DWORD woken =
            ::MsgWaitForMultipleObjects(1, &g_stopEvent, FALSE, timeout, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0) {
            why = "stop event";
            break;
        }
        if (woken == WAIT_TIMEOUT) {
            why = "time over";
            break;
        }
        if (woken == WAIT_FAILED) {
            Say("MsgWaitForMultipleObjects failed w/err %lu", ::GetLastError());
            return 1;
        }
        while (why == nullptr && ::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                why = "WM_CLOSE";
            } else if (message.hwnd == nullptr && message.message == kShowWindow) {
                if (!window.IsUp() && !ShowWindowSaying(window)) return 1;
            } else if (message.hwnd == nullptr && message.message == kHideWindow) {
                if (window.IsUp()) Say("window down");
                window.Hide();
            } else if (message.hwnd == nullptr && message.message == kQuit) {
                why = "quit";
            } else {
                ::TranslateMessage(&message);
                ::DispatchMessageA(&message);
            }
        }
    }
    window.Hide();
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    ::CloseHandle(g_stopEvent);
    Say("ended (%s)", why);
    return 0;
}

// sim-standin: plays the simulator on this machine (README.md).

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "StandinServer.h"
#include "platform/Paths.h"

namespace {

int g_stopPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_stopPipe[1], &byte, 1);
}

void Usage() {
    std::fprintf(stderr,
                 "usage: sim-standin [--log FILE] [--title TEXT] [--aircraft-file PATH]\n"
                 "                   [--rate N] [--autostart] [--no-window]\n"
                 "                   [--port N] [--bind ADDRESS]... [--control PATH]\n"
                 "       sim-standin ctl [--control PATH] COMMAND...\n");
}

// Sends one control command to a running stand-in and prints its answer.
int RunControl(const std::string& path, const std::string& command) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) return 2;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        std::fprintf(stderr, "sim-standin: no stand-in listens at %s\n", path.c_str());
        return 1;
    }
    const std::string line = command + "\n";
    ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    std::string reply;
    char c;
    while (::recv(fd, &c, 1, 0) == 1 && c != '\n') reply.push_back(c);
    ::close(fd);
    std::printf("%s\n", reply.c_str());
    return reply.rfind("ok", 0) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    StandinOptions options;
    options.controlPath = platform::RuntimePath("sim-standin.ctl");
    options.lockPath = platform::SimulatorPresenceLockPath();

    int at = 1;
    const bool control = argc > 1 && std::string(argv[1]) == "ctl";
    if (control) at = 2;
    std::string command;
    for (; at < argc; ++at) {
        const std::string arg = argv[at];
        auto value = [&]() -> std::string {
            if (at + 1 >= argc) {
                Usage();
                std::exit(2);
            }
            return argv[++at];
        };
        if (arg == "--control") {
            options.controlPath = value();
        } else if (control) {
            command += (command.empty() ? "" : " ") + arg;
        } else if (arg == "--log") {
            options.logPath = value();
        } else if (arg == "--title") {
            options.title = value();
        } else if (arg == "--aircraft-file") {
            options.aircraftFile = value();
        } else if (arg == "--rate") {
            options.rate = std::atof(value().c_str());
            if (!(options.rate > 0)) {
                std::fprintf(stderr, "sim-standin: --rate needs a positive number\n");
                return 2;
            }
        } else if (arg == "--autostart") {
            options.autostart = true;
        } else if (arg == "--no-window") {
            options.window = false;
        } else if (arg == "--port") {
            const std::string text = value();
            char* end = nullptr;
            const long port = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || port < 1 || port > 65535) {
                std::fprintf(stderr, "sim-standin: --port needs a number from 1 to 65535\n");
                return 2;
            }
            options.port = static_cast<uint16_t>(port);
        } else if (arg == "--bind") {
            options.addresses.push_back(value());
        } else {
            Usage();
            return 2;
        }
    }
    if (control) {
        if (command.empty()) {
            Usage();
            return 2;
        }
        return RunControl(options.controlPath, command);
    }

    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    StandinServer server(options);
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "sim-standin: %s\n", error.c_str());
        return 1;
    }
    return server.Run(g_stopPipe[0]);
}

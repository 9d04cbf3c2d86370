// The least a Windows program can do for a key press, for the benchmark of the Windows build under
// Wine: it takes one connection at a time with a blocking accept, receives until the request head
// ends, writes the key's two bytes into \\.\pipe\MCDU_Input with a plain WriteFile and answers
// with a fixed page. No bounds, no time-outs, no stop: what is left of a key press's time here is
// Wine's, and the difference to the program's is what the program's own safeguards cost.
//
//   winfloor --port N [--pipe NAME]
//
// It prints "ready" once it listens and has the pipe open.

#include <windows.h>
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "PipeEndOptions.h"

int main(int argc, char** argv) {
    int port = 0;
    std::string pipeName;
    if (!ReadPipeEndOptions(argc, argv, port, pipeName)) {
        std::fprintf(stderr, "usage: winfloor --port N [--pipe NAME]\n");
        return 2;
    }
    WSADATA wsa{};
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    if (listener == INVALID_SOCKET ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 5) != 0) {
        std::fprintf(stderr, "winfloor: cannot listen on 127.0.0.1:%d (%d)\n", port,
                     ::WSAGetLastError());
        return 1;
    }
    const std::string name = "\\\\.\\pipe\\" + pipeName;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    // The gauge's end takes the next client once the previous one (the program) has gone.
    for (int attempt = 0; attempt < 500 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
        pipe = ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE) ::Sleep(20);
    }
    if (pipe == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "winfloor: cannot open %s (%lu)\n", name.c_str(), ::GetLastError());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    static const char kAnswer[] = "HTTP/1.1 202 OK\nConnection: close\nContent-Length: 2\n\nok";
    for (;;) {
        const SOCKET client = ::accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        char head[4096];
        int got = 0;
        while (got < static_cast<int>(sizeof head) - 1) {
            const int n = ::recv(client, head + got, sizeof head - 1 - got, 0);
            if (n <= 0) break;
            got += n;
            head[got] = '\0';
            if (std::strstr(head, "\r\n\r\n") != nullptr) break;
        }
        head[got] = '\0';
        if (const char* key = std::strstr(head, "MCDU_KB_")) {
            const unsigned char message[2] = {static_cast<unsigned char>(std::atoi(key + 8)), 0};
            DWORD written = 0;
            ::WriteFile(pipe, message, sizeof message, &written, nullptr);
        }
        ::send(client, kAnswer, sizeof kAnswer - 1, 0);
        ::shutdown(client, SD_SEND);
        ::closesocket(client);
    }
}

// The gauge's end of the MCDU pipe for the benchmark of the Windows build under Wine: it serves
// \\.\pipe\MCDU_Input and passes every byte the program writes into it on to the benchmark driver,
// over a TCP connection to 127.0.0.1, at once. A named pipe lives inside the wineserver, so only a
// Windows process can be its server; the driver, a Linux process, sees the key arrive through
// this one extra loopback hop and can time that hop alone: every byte it sends on the connection
// comes straight back.
//
//   wingauge --port N [--pipe NAME]
//
// It sends one 'R' once the pipe exists (the program opens it once, as its web server starts), and
// ends when the driver closes the connection.

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "PipeEndOptions.h"

namespace {

SOCKET g_socket = INVALID_SOCKET;

bool SendAll(const char* data, int size) {
    while (size > 0) {
        const int sent = ::send(g_socket, data, size, 0);
        if (sent <= 0) return false;
        data += sent;
        size -= sent;
    }
    return true;
}

// Echoes what the driver sends, to time the hop; the driver closing its end ends the process
// (the main thread may be waiting for a pipe client that never comes).
DWORD WINAPI Echo(LPVOID) {
    char buffer[64];
    for (;;) {
        const int got = ::recv(g_socket, buffer, sizeof buffer, 0);
        if (got <= 0 || !SendAll(buffer, got)) ::ExitProcess(0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    std::string pipeName;
    if (!ReadPipeEndOptions(argc, argv, port, pipeName)) {
        std::fprintf(stderr, "usage: wingauge --port N [--pipe NAME]\n");
        return 2;
    }
    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
    g_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    if (g_socket == INVALID_SOCKET ||
        ::connect(g_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "wingauge: cannot connect to 127.0.0.1:%d (%d)\n", port,
                     ::WSAGetLastError());
        return 1;
    }
    const BOOL one = TRUE;
    ::setsockopt(g_socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                 sizeof one);

    const std::string name = "\\\\.\\pipe\\" + pipeName;
    const HANDLE pipe = ::CreateNamedPipeA(
        name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 4096, 4096,
        0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "wingauge: cannot create %s (%lu)\n", name.c_str(), ::GetLastError());
        return 1;
    }
    if (!SendAll("R", 1)) return 1;
    const HANDLE echo = ::CreateThread(nullptr, 0, Echo, nullptr, 0, nullptr);
    if (echo == nullptr) return 1;
    ::CloseHandle(echo);

    // One program at a time; when it goes (the start-up rounds end each copy), the next.
    for (;;) {
        if (!::ConnectNamedPipe(pipe, nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED) {
            ::DisconnectNamedPipe(pipe);
            continue;
        }
        char buffer[256];
        DWORD got = 0;
        while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            if (!SendAll(buffer, static_cast<int>(got))) return 0;
        }
        ::DisconnectNamedPipe(pipe);
    }
}

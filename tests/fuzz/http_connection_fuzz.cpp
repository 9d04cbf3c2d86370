// A whole connection as a client could send it: the bytes go into one end of a socket pair and
// the server reads the other end exactly as it reads an accepted connection, with the real page
// handler behind it. Whatever comes back must be one well-formed response or nothing.

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/TarvelXConnectDlg.h"
#include "tests/fuzz/FuzzSupport.h"
#include "web/HttpServer.h"
#include "web/PageHandler.h"
#include "web/Socket.h"
#include "web/WebServer.h"

namespace {

struct Server {
    CTarvelXConnectDlg dlg{txfuzz::PrepareSandbox()};
    WebServer server{0, &ServePage, &dlg};
    Server() {
        dlg.m_bServerEnabled = true;
        dlg.m_bWebserverWaits4Sim = false;
    }
};

void WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) std::abort();  // the pair's buffer is far larger than any input
        data += n;
        size -= static_cast<size_t>(n);
    }
}

std::string ReadAll(int fd) {
    std::string out;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) return out;
        out.append(chunk, static_cast<size_t>(n));
    }
}

// A response is a status line, header lines, an empty line, then exactly Content-Length bytes
// and one line feed.
void CheckResponse(const std::string& response) {
    if (response.empty()) return;
    if (response.compare(0, 9, "HTTP/1.1 ") != 0) std::abort();
    const size_t headEnd = response.find("\n\n");
    if (headEnd == std::string::npos) std::abort();
    const std::string key = "\nContent-Length: ";
    const size_t at = response.find(key);
    if (at == std::string::npos || at > headEnd) std::abort();
    const size_t length = std::strtoul(response.c_str() + at + key.size(), nullptr, 10);
    if (response.size() != headEnd + 2 + length + 1 || response.back() != '\n') std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Server* const s = new Server;  // lives for the whole run, like the program's
    // The first byte picks the simulator's state, so both the offline answer and routing are met.
    s->dlg.m_bSimOnline = size > 0 && (data[0] & 1) != 0;

    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) std::abort();
    WriteAll(pair[0], data, size);
    ::shutdown(pair[0], SHUT_WR);

    auto client = std::make_unique<Socket>(pair[1]);
    client->SetReceiveBounds(kMaxRequestLineBytes, Socket::Clock::now() + std::chrono::seconds(1),
                             &s->server.m_bStopThread);
    client->SetSendTimeout(std::chrono::milliseconds(500));
    s->server.SetClient(std::move(client));
    HandleConnection(s->server);
    if (s->server.Client() != nullptr) std::abort();  // every path ends with the connection closed

    CheckResponse(ReadAll(pair[0]));
    ::close(pair[0]);
    return 0;
}

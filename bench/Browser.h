#pragma once
// The browser's side of a request, as the tablet's browser makes it: a fresh loopback connection
// per request, a Chrome-sized head, and an answer read up to its Content-Length (or the close),
// after which the connection is dropped. Built on the tests' loopback sockets.

#include <chrono>
#include <string>

#include "platform/Net.h"

namespace txbench {

using platform::SocketHandle;

// The head Chrome sends for `path` on a page of 127.0.0.1:`port`, about 480 bytes.
std::string BrowserHead(const std::string& path, int port);

// A connection to 127.0.0.1:`port` with small writes sent at once; kInvalidSocket when refused.
SocketHandle ConnectBrowser(int port);
bool SendText(SocketHandle socket, const std::string& bytes);
// True once the first byte of the answer (or the end) is there, within `timeout`.
bool FirstByteWithin(SocketHandle socket, std::chrono::milliseconds timeout);
void CloseBrowser(SocketHandle socket);

struct Response {
    bool ok = false;  // a 2xx status line and the whole body
    std::string status;
    std::string body;
};
// Reads one answer: the head, then Content-Length bytes (or up to the close). A browser takes bare
// line feeds as line ends too.
Response ReadResponse(SocketHandle socket, std::chrono::milliseconds timeout);
// One request on a connection of its own.
Response Fetch(int port, const std::string& path,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace txbench

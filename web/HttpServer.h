#pragma once
// The web server's work on its own thread: the accept loop, reading one request per connection,
// calling the page handler and writing the response.

#include <chrono>
#include <cstddef>
#include <ctime>
#include <string>

#include "web/HttpRequest.h"
#include "web/RequestHead.h"

namespace web {

class Socket;
class WebServer;

// Bounds on what one client may make the server wait for. A connection that breaks one is closed
// without a response and the log says which.
inline constexpr size_t kMaxRequestLineBytes = 8192;  // per line, line feed included
inline constexpr int kMaxHeaderLines = 100;
inline constexpr std::chrono::seconds kRequestHeadTimeout{5};  // from the accept
// A client that stops reading its response is given up after this long.
inline constexpr std::chrono::seconds kResponseSendTimeout{5};
// Longest pause between two looks at the stop flag while waiting for a connection.
inline constexpr std::chrono::milliseconds kAcceptPollInterval{100};
// Longest pause between two looks at the flags while the server waits for the simulator.
inline constexpr std::chrono::milliseconds kSimWaitPollInterval{50};

inline constexpr const char* kServerName = "Quennick Tarvel X Connect Extended";

// Connects the MCDU pipe, listens on the server's port and serves one connection after another
// until the stop flag is raised or the listener fails (which is logged).
void ServeConnections(WebServer& server);

// Serves the server's current connection: reads the request line and headers, calls the page
// handler, sends the response and closes the connection. A request that cannot be read is closed
// without a response.
void HandleConnection(WebServer& server);

// The Content-Type header line for a response to `path`.
std::string ContentTypeLine(const std::string& path);

// "Date: " + asctime of `when` in UTC without its line feed + " GMT".
std::string DateLine(std::time_t when);

// Sends the whole response for `request` (status line, headers, empty line, body, line feed).
void SendResponse(Socket& client, const HttpRequest& request, std::time_t now);

}  // namespace web

#pragma once
// The web server's work on its own thread: the accept loop, reading one request per connection,
// calling the page handler and writing the response.

#include <chrono>
#include <cstddef>
#include <ctime>
#include <memory>
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
// Connections whose heads may be coming at once; past that the one waiting longest is closed.
inline constexpr size_t kMaxWaitingConnections = 64;
// Connections the system may hold for the server before it takes them: as many as may wait, so a
// browser opening a page over several connections at once, or a burst of peers, never finds the
// queue full (a connection refused there tries again only a second later).
inline constexpr int kListenBacklog = 64;
// Longest pause between two looks at the flags while the server waits for the simulator.
inline constexpr std::chrono::milliseconds kSimWaitPollInterval{50};

inline constexpr const char* kServerName = "Quennick Tarvel X Connect Extended";

// Connects the MCDU pipe, listens on the server's port and serves connections until the stop flag
// is raised or the listener fails (which is logged). It waits on every connection whose request
// head is still coming at once, each until its own deadline, and serves each one, one at a time,
// as soon as its head is whole; a stop wakes the wait at once.
void ServeConnections(WebServer& server);

// Serves a connection whose head `request` has been read: makes it the server's connection,
// calls the page handler (with the offline page when `offline` or the simulator is away), sends
// the key it asks for to the gauge, sends the response unless the server is stopping, and closes
// the connection.
void HandleConnection(WebServer& server, std::unique_ptr<Socket> socket, HttpRequest request,
                      bool offline);

// The Content-Type header line for a response to `path`.
std::string ContentTypeLine(const std::string& path);

// "Date: " + asctime of `when` in UTC without its line feed + " GMT".
std::string DateLine(std::time_t when);

// Sends the whole response for `request` (status line, headers, empty line, body, line feed).
void SendResponse(Socket& client, const HttpRequest& request, std::time_t now);

}  // namespace web

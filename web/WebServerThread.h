#pragma once
// Entry function of the web server thread.

namespace web {

class WebServer;

// Serves until stopped or until the listener fails, then deregisters the thread from its server,
// so that a later start can run a new one.
void WebServerThread(WebServer* server);

}  // namespace web

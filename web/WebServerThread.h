#pragma once
// Entry function of the web server thread.

class WebServer;

// Serves until stopped or until the listener fails, then deregisters the thread from its server,
// so that a later start can run a new one.
void WebServerThread(WebServer* server);

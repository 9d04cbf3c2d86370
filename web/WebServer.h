#pragma once
// The web server object: what the web server thread serves with, and what the window thread
// reaches into at shutdown (the stop flag, the MCDU pipe, the connection being served). One per
// process, created at start-up when the server is enabled and deleted at shutdown once its
// thread has ended.

#include <atomic>
#include <cstdint>
#include <memory>

#include "pipe/McduPipeClient.h"
#include "platform/Mutex.h"
#include "web/HttpRequest.h"

class CTarvelXConnectDlg;
class Socket;

class WebServer {
  public:
    // Stores the values; nothing is opened.
    WebServer(uint32_t port, PageHandler handler, CTarvelXConnectDlg* owner);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Opens the MCDU input pipe anew; the outcome stays in m_mcduPipe and goes to the log.
    bool ConnectMcduPipe() { return m_mcduPipe.ConnectMcduPipe(); }

    // Makes `client` the connection being served (web server thread).
    void SetClient(std::unique_ptr<Socket> client) EXCLUDES(m_clientMutex);
    // A hold on the connection being served, or null between connections. The hold keeps the
    // object alive even when another thread closes the connection meanwhile.
    std::shared_ptr<Socket> Client() EXCLUDES(m_clientMutex);
    // Closes the connection being served, if any, and forgets it. Called by the web server thread
    // at the end of every request and by the window thread at shutdown, possibly while the web
    // server thread still waits on that connection: its wait then ends with nothing received.
    void CloseClient() EXCLUDES(m_clientMutex);

    PageHandler Handler() const { return m_pHandler; }

    // ---- Fields, in the server's field order -----------------------------------------------

    // The MCDU input pipe (its handle and connected flag). Connected by the web server thread at
    // the start of every run; written by that thread (key presses), the simulator worker (probe)
    // and the window thread (close message); the client serialises them itself.
    McduPipeClient m_mcduPipe;
    // The main window, whose flags the server reads. Fixed at construction.
    CTarvelXConnectDlg* const m_pOwner;

  private:
    // The connection being served. Set and cleared by the web server thread, cleared by the
    // window thread at shutdown; both under m_clientMutex. Shared ownership lets the web server
    // thread finish with an object the window thread has already let go of.
    platform::Mutex m_clientMutex;
    std::shared_ptr<Socket> m_pClient GUARDED_BY(m_clientMutex);

  public:
    // Listening port. Fixed at construction.
    const uint32_t m_nPort;
    // Stop request to the web server thread. Written by StopWebServerThread (window thread at
    // shutdown, or the ending server thread itself); polled by the server thread between accepts,
    // while it waits for a line and after the page handler.
    std::atomic<bool> m_bStopThread{false};

  private:
    // The page handler; fixed at construction. Kept per server rather than process-wide, so a
    // server never sees another server's handler.
    const PageHandler m_pHandler;
};

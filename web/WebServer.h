#pragma once
// The web server object: its thread (started and stopped here), what that thread serves with,
// the MCDU pipe that key presses, the flight-start probe and the close message go through, and
// the connection being served. One per process, created at start-up when the server is enabled
// and deleted at shutdown once its thread has ended. The program around it is reached through
// web::ServerHost.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pipe/McduPipeClient.h"
#include "platform/Mutex.h"
#include "platform/NetworkAdapters.h"
#include "platform/WorkerThread.h"
#include "web/HttpRequest.h"
#include "web/ServerHost.h"

namespace platform {
class SocketWaiter;
}

namespace web {

class Socket;

class WebServer {
  public:
    // Stores the values; nothing is opened. Destruction stops and joins the thread. `waitsForSim`
    // is [Server] WebserverWaits4Sim: the server accepts nothing while the simulator link is
    // offline.
    WebServer(uint32_t port, PageHandler handler, web::ServerHost& host, bool waitsForSim = true);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // ---- The thread ------------------------------------------------------------------------
    // Starts the web server thread unless it runs, logs the address and has the window show it.
    void StartWebServerThread() EXCLUDES(m_webThreadMutex);
    // Stops the thread: with `wait`, returns once it (and any earlier one that ended by itself)
    // has been joined (shutdown); without, only deregisters it (the ending thread itself).
    void StopWebServerThread(bool wait) EXCLUDES(m_webThreadMutex);
    // True while a web server thread is registered.
    bool IsThreadRegistered() EXCLUDES(m_webThreadMutex);

    // ---- The address shown to tablets (window thread) ---------------------------------------
    // [Server] WebbrowserIP: an address to show instead of the chosen one, for a network no rule
    // can guess; empty means the choice. Anything but an IPv4 address is logged and ignored.
    void SetAddressSetting(const std::string& address);
    // Looks at the address again (the presence tick): when it differs from the one shown, logs
    // the new one and has the window show it. Nothing before the thread's first start.
    void FollowAddress();
    // The address shown, empty before the thread's first start or when none is found.
    const std::string& ShownAddress() const { return m_shownAddress; }
    // The adapters the address is chosen from; a test may give its own, the program does not.
    std::function<platform::Result<std::vector<platform::NetworkAdapter>>()> m_fnListAdapters =
        &platform::ListNetworkAdapters;

    // ---- The MCDU pipe ---------------------------------------------------------------------
    // Opens the MCDU input pipe anew; the outcome stays in the pipe client and goes to the log.
    bool ConnectMcduPipe() { return m_mcduPipe.ConnectMcduPipe(); }
    // A key press (web server thread), the flight-start probe (simulator worker) and the close
    // message (window thread at shutdown); the pipe client serialises them itself.
    bool SendKey(int code) { return m_mcduPipe.SendKey(code); }
    bool SendProbe() { return m_mcduPipe.SendProbe(); }
    bool SendClose() { return m_mcduPipe.SendClose(); }
    // From now on no key or probe waits for a gauge that does not take it; one waiting gives up
    // at once (any thread, at shutdown, before the threads that write are joined).
    void StopPipeWaits() { m_mcduPipe.Stop(); }

    // ---- The connection being served -------------------------------------------------------
    // Makes `client` the connection being served (web server thread).
    void SetClient(std::unique_ptr<Socket> client) EXCLUDES(m_clientMutex);
    // A hold on the connection being served, or null between connections. The hold keeps the
    // object alive even when another thread closes the connection meanwhile.
    std::shared_ptr<Socket> Client() EXCLUDES(m_clientMutex);
    // Closes the connection being served, if any, and forgets it. Called by the web server thread
    // at the end of every request and by the window thread at shutdown, possibly while the web
    // server thread still waits on that connection: its wait then ends with nothing received.
    void CloseClient() EXCLUDES(m_clientMutex);

    // ---- The stop's wake-up ------------------------------------------------------------------
    // Names the wait the web server thread runs in, or none (null) once it has ended (web server
    // thread); a stop wakes it.
    void SetWaiter(platform::SocketWaiter* waiter) EXCLUDES(m_waiterMutex);

    PageHandler Handler() const { return m_fnHandler; }
    web::ServerHost& Host() const { return m_host; }
    // Whether the server waits for the simulator before it accepts (any thread).
    bool WaitsForSim() const { return m_bWaits4Sim.load(); }
    // Changes it for the thread's next look; a test may, the program does not.
    void SetWaitsForSim(bool waits) { m_bWaits4Sim.store(waits); }

  private:
    // The address to show now: the setting, else the choice over the adapters, else the host
    // name's. Logs the adapters once per run.
    std::string CurrentAddress();
    // Logs `address` and has the window show it with the port.
    void ShowAddress(const std::string& address);

    // The address setting, the address shown and whether the adapters have been logged. Window
    // thread only (the thread's start, the presence tick, the address strip's press).
    std::string m_addressSetting;
    std::string m_shownAddress;
    bool m_bShowingAddress = false;
    bool m_bAdaptersLogged = false;

    // The MCDU input pipe (its handle and connected flag). Connected by the web server thread at
    // the start of every run; written by that thread (key presses), the simulator worker (probe)
    // and the window thread (close message); the client serialises them itself.
    mcdupipe::McduPipeClient m_mcduPipe;
    // The program around the server, whose state the pages show. Fixed at construction.
    web::ServerHost& m_host;

    // The connection being served. Set and cleared by the web server thread, cleared by the
    // window thread at shutdown; both under m_clientMutex. Shared ownership lets the web server
    // thread finish with an object the window thread has already let go of.
    platform::Mutex m_clientMutex;
    std::shared_ptr<Socket> m_pClient GUARDED_BY(m_clientMutex);

    // The wait of the running web server thread. Set and cleared by that thread around its
    // serving; woken by StopWebServerThread on any thread, under m_waiterMutex, so the waiter is
    // never woken after its thread has let go of it.
    platform::Mutex m_waiterMutex;
    platform::SocketWaiter* m_pWaiter GUARDED_BY(m_waiterMutex) = nullptr;

    // The web server thread's handle, while it runs. Guarded by m_webThreadMutex: the thread
    // releases its own registration when it ends, and shutdown waits for it and releases it.
    // Whoever takes the handle out owns it alone, so it is released exactly once.
    platform::Mutex m_webThreadMutex;
    std::unique_ptr<platform::WorkerThread> m_pWebServerThread GUARDED_BY(m_webThreadMutex);
    // A thread that ended by itself and deregistered: joined by the next start or by shutdown,
    // never by itself.
    std::unique_ptr<platform::WorkerThread> m_pEndedWebServerThread GUARDED_BY(m_webThreadMutex);

  public:
    // Listening port. Fixed at construction.
    const uint32_t m_nPort;
    // Stop request to the web server thread. Written by StopWebServerThread (window thread at
    // shutdown, or the ending server thread itself), which then wakes the thread's wait; read by
    // the server thread after every wait and after the page handler.
    std::atomic<bool> m_bStopThread{false};

  private:
    // [Server] WebserverWaits4Sim. Given at construction, before the thread exists; read by the
    // web server thread.
    std::atomic<bool> m_bWaits4Sim;
    // The page handler; fixed at construction. Kept per server rather than process-wide, so a
    // server never sees another server's handler.
    const PageHandler m_fnHandler;
};

}  // namespace web

#include "web/WebServer.h"

#include <utility>

#include "platform/SocketWaiter.h"
#include "web/Socket.h"

namespace web {

WebServer::WebServer(uint32_t port, PageHandler handler, web::ServerHost& host, bool waitsForSim)
    : m_host(host), m_nPort(port), m_bWaits4Sim(waitsForSim), m_fnHandler(handler) {}

WebServer::~WebServer() {
    StopPipeWaits();
    StopWebServerThread(true);
    CloseClient();
}

void WebServer::SetClient(std::unique_ptr<Socket> client) {
    std::shared_ptr<Socket> previous;
    {
        platform::MutexLock lock(m_clientMutex);
        previous = std::move(m_pClient);
        m_pClient = std::move(client);
    }
    if (previous) previous->Close();
}

std::shared_ptr<Socket> WebServer::Client() {
    platform::MutexLock lock(m_clientMutex);
    return m_pClient;
}

void WebServer::CloseClient() {
    std::shared_ptr<Socket> client;
    {
        platform::MutexLock lock(m_clientMutex);
        client = std::move(m_pClient);
    }
    // The object goes with the last hold: here, or in the web server thread if it still uses it.
    if (client) client->Close();
}

void WebServer::SetWaiter(platform::SocketWaiter* waiter) {
    platform::MutexLock lock(m_waiterMutex);
    m_pWaiter = waiter;
}

}  // namespace web

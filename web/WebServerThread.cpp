// The web server thread, and the server's operations that start and stop it.

#include "web/WebServerThread.h"

#include <chrono>
#include <memory>
#include <string>

#include "log/Log.h"
#include "platform/Net.h"
#include "platform/SocketWaiter.h"
#include "web/HttpServer.h"
#include "web/LocalAddress.h"
#include "web/WebServer.h"

using logging::LogFile;
using logging::LogLine;

namespace web {

namespace {

// A stop lets a response under way go out this long before it closes the connection, which frees
// a send held up by a client that does not read.
constexpr std::chrono::milliseconds kResponseGrace{500};

}  // namespace

void WebServerThread(WebServer* server) {
    LogLine(LogFile, "Webserver (main) thread started.\n");
    ServeConnections(*server);
    // Deregistering lets the simulator link start a new thread later; whoever does, or shutdown,
    // joins this one before the server object goes.
    server->StopWebServerThread(false);
    LogLine(LogFile, "Webserver (main) thread finished.\n");
}

bool WebServer::IsThreadRegistered() {
    platform::MutexLock lock(m_webThreadMutex);
    return m_pWebServerThread != nullptr;
}

void WebServer::StartWebServerThread() {
    {
        platform::MutexLock lock(m_webThreadMutex);
        // A second thread would only find the port taken; the running one stays the only one.
        if (m_pWebServerThread) return;
        // One that ended by itself (its port taken) has deregistered and touches nothing here
        // any more: joining it under the lock is safe and quick.
        m_pEndedWebServerThread.reset();
        LogLine(LogFile, "Starting the webserver (main) thread...\n");
        // Registering under the lock means a thread that ends at once (its port taken) can only
        // deregister after it has been registered.
        m_pWebServerThread = platform::WorkerThread::Start([this] { WebServerThread(this); });
        if (!m_pWebServerThread) {
            LogLine(LogFile, "webserver (main) thread couldn't start.\n");
            return;
        }
    }

    ShowAddress(CurrentAddress());
    m_bShowingAddress = true;
}

void WebServer::SetAddressSetting(const std::string& address) {
    uint32_t parsed = 0;
    if (address.empty() || platform::ParseDottedIPv4(address, parsed)) {
        m_addressSetting = address;
        return;
    }
    LogLine(LogFile,
            "Webserver: [Server] WebbrowserIP=%s is not an IPv4 address; the address is chosen "
            "from the network adapters.\n",
            address.c_str());
}

std::string WebServer::CurrentAddress() {
    if (!m_addressSetting.empty()) return m_addressSetting;
    const platform::Result<std::vector<platform::NetworkAdapter>> adapters = m_fnListAdapters();
    if (!m_bAdaptersLogged) {
        m_bAdaptersLogged = true;
        if (adapters.IsOk()) {
            LogLine(LogFile, "Network adapters: %s.\n", DescribeAdapters(adapters.value).c_str());
        } else {
            LogLine(LogFile, "Network adapters: cannot be listed (%s).\n",
                    adapters.status.Text().c_str());
        }
    }
    std::string address = adapters.IsOk() ? ChooseTabletAddress(adapters.value) : "";
    if (address.empty()) address = platform::HostNameIPv4Address();
    return address;
}

void WebServer::ShowAddress(const std::string& address) {
    m_shownAddress = address;
    LogLine(LogFile, "Webbrowser IP: %s.\n", address.c_str());
    m_host.ShowAddressLabel(address.empty() ? "" : address + ":" + std::to_string(m_nPort));
}

void WebServer::FollowAddress() {
    if (!m_bShowingAddress) return;
    const std::string address = CurrentAddress();
    if (address != m_shownAddress) ShowAddress(address);
}

void WebServer::StopWebServerThread(bool wait) {
    std::unique_ptr<platform::WorkerThread> thread;
    std::unique_ptr<platform::WorkerThread> ended;
    {
        platform::MutexLock lock(m_webThreadMutex);
        if (wait) ended = std::move(m_pEndedWebServerThread);
        if (!m_pWebServerThread) return;
        LogLine(LogFile, "CloseWebserverThread...\n");
        m_bStopThread.store(true);
        {
            // The flag is up before the wake-up, so a thread that has not begun to wait yet
            // sees the flag, and one that waits is woken.
            platform::MutexLock waiterLock(m_waiterMutex);
            if (m_pWaiter != nullptr) m_pWaiter->Wake();
        }
        // Taking the handle out makes this call its one releaser: whichever of shutdown and the
        // thread's own deregistration comes second finds no handle and does nothing.
        thread = std::move(m_pWebServerThread);
        if (!wait || thread->IsCurrentThread()) {
            // The ending thread itself cannot join itself: its handle waits for whoever starts
            // the next thread, or for shutdown.
            m_pEndedWebServerThread = std::move(thread);
            m_bStopThread.store(false);
            LogLine(LogFile, "CloseWebserverThread complete\n");
            return;
        }
    }

    if (!thread->WaitFor(kResponseGrace)) {
        // Only a response still being sent or a page handler at work can hold the thread after
        // the wake-up; closing the connection frees the former.
        LogLine(LogFile,
                "Webserver (main) thread still busy after %lld ms; closing its connection.\n",
                static_cast<long long>(kResponseGrace.count()));
        CloseClient();
    }
    thread.reset();
    m_bStopThread.store(false);
    LogLine(LogFile, "CloseWebserverThread complete\n");
}

}  // namespace web

#include "bench/WaitingCrowd.h"

#include <chrono>
#include <string>

#include "bench/Browser.h"

namespace txbench {

WaitingCrowd::WaitingCrowd(int port) : m_port(port) {
    Renew();
    m_trickler = std::thread([this] { Trickle(); });
}

WaitingCrowd::~WaitingCrowd() {
    m_stop.store(true);
    m_trickler.join();
    CloseSilent();
    CloseBrowser(m_trickling.exchange(platform::kInvalidSocket));
}

void WaitingCrowd::Renew() {
    const SocketHandle old = m_trickling.exchange(platform::kInvalidSocket);
    CloseSilent();
    for (int i = 0; i < 8; ++i) m_silent.push_back(ConnectBrowser(m_port));
    // The trickler may still be sending on the old one: it is closed once swapped out.
    m_trickling.store(ConnectBrowser(m_port));
    CloseBrowser(old);
}

void WaitingCrowd::Trickle() {
    const std::string head = "GET /trickle HTTP/1.1\r\nUser-Agent: one byte at a time\r\n";
    size_t at = 0;
    while (!m_stop.load()) {
        for (int slice = 0; slice < 8 && !m_stop.load(); ++slice)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const SocketHandle socket = m_trickling.load();
        if (socket != platform::kInvalidSocket)
            SendText(socket, std::string(1, head[at++ % head.size()]));
    }
}

void WaitingCrowd::CloseSilent() {
    for (const SocketHandle socket : m_silent) CloseBrowser(socket);
    m_silent.clear();
}

}  // namespace txbench

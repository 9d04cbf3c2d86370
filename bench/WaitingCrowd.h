#pragma once
// Connections that keep a server waiting, held open against it while a plain request is timed:
// eight that send nothing and one that sends a byte of a head every 0.4 s, from a thread of its
// own. Renewed before any server lets them go.

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Net.h"

namespace txbench {

class WaitingCrowd {
  public:
    explicit WaitingCrowd(int port);
    ~WaitingCrowd();
    WaitingCrowd(const WaitingCrowd&) = delete;
    WaitingCrowd& operator=(const WaitingCrowd&) = delete;

    // Opens the nine anew; the trickling one starts its head again.
    void Renew();

  private:
    void Trickle();
    void CloseSilent();

    const int m_port;
    std::vector<platform::SocketHandle> m_silent;  // this thread's
    // Swapped by this thread, sent on by the trickler.
    std::atomic<platform::SocketHandle> m_trickling{platform::kInvalidSocket};
    std::atomic<bool> m_stop{false};
    std::thread m_trickler;
};

}  // namespace txbench

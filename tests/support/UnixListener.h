#pragma once
// A minimal listener on a Unix-domain stream socket for tests: it accepts every connection on a
// thread of its own and keeps what each one sent, byte for byte.

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Mutex.h"

namespace txtest {

class UnixListener {
  public:
    struct Connection {
        std::string bytes;
        bool ended = false;  // the other side closed it
    };

    // Creates the socket's folder when missing and listens on `path`.
    explicit UnixListener(std::string path, int backlog = 64);
    ~UnixListener();
    UnixListener(const UnixListener&) = delete;
    UnixListener& operator=(const UnixListener&) = delete;

    bool Listening() const { return m_listener >= 0; }
    std::vector<Connection> Connections();
    // Everything received, all connections in the order they were accepted.
    std::string AllBytes();
    size_t ConnectionCount();
    // Closes every accepted connection (a gauge that went away and came back) and keeps listening.
    void DropConnections();
    // Waits until `condition` holds for the connections, at most `timeout`.
    bool WaitFor(const std::function<bool(const std::vector<Connection>&)>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));

  private:
    void Serve();

    const std::string m_path;
    int m_listener = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_dropRequests{0};
    std::atomic<int> m_dropsDone{0};
    platform::Mutex m_mutex;
    std::vector<Connection> m_connections GUARDED_BY(m_mutex);  // grown by the serving thread
};

}  // namespace txtest

#pragma once
// The MCDU gauge's end of its input pipe, played by a test: it listens where the program looks
// for the gauge, takes the program's connections one at a time and reads what arrives only when
// asked, so that it can also be a gauge that stops reading. A Unix-domain socket here
// (GaugeEnd_linux.cpp), the gauge's one-instance named pipe on Windows (GaugeEnd_win32.cpp).
// Every wait ends within five seconds.

#include <cstddef>
#include <memory>
#include <string>

namespace txtest {

class GaugeEnd {
  public:
    // Listens at `path` (platform::McduPipePath(), as a rule), making its folder when missing.
    explicit GaugeEnd(const std::string& path);
    ~GaugeEnd();
    GaugeEnd(const GaugeEnd&) = delete;
    GaugeEnd& operator=(const GaugeEnd&) = delete;

    // Waits for the program's next connection and takes it.
    bool Accept();
    // Reads until `count` bytes have come, the writer has closed, or five seconds have passed.
    std::string Read(size_t count);
    // True once a read met the writer's end of the taken connection.
    bool ended() const;
    // Lets the taken connection go and listens on, as a gauge that restarts: the program's next
    // write fails. On Windows the instance is freed for the next client, a waiting one too.
    void Restart();
    // Stops listening for good, as a gauge that ends: the pipe is no longer there.
    void Leave();

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace txtest

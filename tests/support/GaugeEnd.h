#pragma once
// The MCDU gauge's end of its input pipe, played by a test: it listens where the program looks
// for the gauge, takes the program's connection and reads what arrives. A Unix-domain socket here
// (GaugeEnd_linux.cpp), the named pipe on Windows (GaugeEnd_win32.cpp). Every wait ends within
// five seconds.

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

    bool listening() const;
    // Waits for the program's connection.
    bool Accept();
    // Reads until `count` bytes have come, the writer has closed, or five seconds have passed.
    std::string Read(size_t count);

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace txtest

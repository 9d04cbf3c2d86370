#pragma once
// The MCDU gauge's end of its input pipe, played by the bench itself so that both ends of a key
// press are timed on one clock in one process: it tells when the last byte of a message came in,
// and throws away what the program wrote besides (its flight-start probe). The tests' gauge end
// (tests/support/GaugeEnd.h) waits up to five seconds in every read, which serves a gauge that is
// merely there; this one never waits unasked.
//
// On Linux the pipe is a Unix-domain socket (TimedGauge_linux.cpp). For the Windows build under
// Wine the pipe lives inside the wineserver, where only a Windows process can serve it:
// bench/wingauge.exe passes every byte on to this end over loopback TCP and echoes whatever this
// end sends it, so that the extra hop can be timed on its own.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "bench/Stats.h"
#include "platform/Net.h"

namespace txbench {

class TimedGauge {
  public:
    // Listens at `path`, where the Linux program looks for the gauge.
    explicit TimedGauge(const std::string& path);
    // Listens on 127.0.0.1 at a free port, given back in `port`, for wingauge.exe.
    explicit TimedGauge(int* port);
    ~TimedGauge();
    TimedGauge(const TimedGauge&) = delete;
    TimedGauge& operator=(const TimedGauge&) = delete;

    bool Listening() const { return m_listener != platform::kInvalidSocket; }
    // Takes the next connection, in place of the one before.
    bool Accept(std::chrono::milliseconds timeout);
    bool Send(const std::string& bytes);
    // Reads until `count` more bytes have arrived: the time the last one came in, or nothing.
    std::optional<Clock::time_point> Receive(size_t count, std::chrono::milliseconds timeout,
                                             std::string* bytes = nullptr);
    // Throws away whatever has arrived and not been read.
    void Drain();

  private:
    platform::SocketHandle m_listener = platform::kInvalidSocket;
    platform::SocketHandle m_connection = platform::kInvalidSocket;
};

}  // namespace txbench

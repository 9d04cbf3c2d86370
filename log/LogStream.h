#pragma once
// The program's optional log file. Every piece (a prefixed line or a continuation) goes out as one
// write and one flush under one lock, so pieces from different threads never mix inside each
// other, and the file is complete on disk after every message.

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "platform/CalendarTime.h"
#include "platform/Mutex.h"

namespace logging {

using LocalTimestamp = platform::LocalTimestamp;

class LogStream {
  public:
    using Clock = std::function<LocalTimestamp()>;

    LogStream() = default;
    ~LogStream();
    LogStream(const LogStream&) = delete;
    LogStream& operator=(const LogStream&) = delete;

    // Creates (truncating) the file in text mode. False, and no log, when it cannot be created.
    bool Open(const std::string& path) EXCLUDES(m_mutex);
    void Close() EXCLUDES(m_mutex);
    bool IsOpen() EXCLUDES(m_mutex);

    // Replaces the local-time clock (tests); an empty clock restores the system clock.
    void SetClock(Clock clock) EXCLUDES(m_mutex);

    // Writes the timestamp prefix (when asked) and then `text`, as one write, then flushes.
    // Does nothing while the stream is closed.
    void Write(bool withPrefix, std::string_view text) EXCLUDES(m_mutex);

    // "[dd/mm/yyyy hh:mm:ss:mmm]: " for the given moment.
    static std::string FormatPrefix(const LocalTimestamp& when);
    static LocalTimestamp SystemNow();

  private:
    platform::Mutex m_mutex;
    FILE* m_file GUARDED_BY(m_mutex) = nullptr;
    Clock m_clock GUARDED_BY(m_mutex);
};

// The one process-wide log. Opened and closed by the main window at start-up and shutdown; every
// thread writes through it while it is open.
extern LogStream LogFile;

}  // namespace logging

#pragma once
// The gauge stand-in's own log: one line per event, with the wall-clock time in front, on standard
// output or appended to a file. Each line is flushed at once so a test can read it straight away.

#include <cstdio>
#include <string>

class GaugeLog {
  public:
    GaugeLog() = default;
    ~GaugeLog();
    GaugeLog(const GaugeLog&) = delete;
    GaugeLog& operator=(const GaugeLog&) = delete;

    // Appends to `path` from now on; false (and standard output stays) when it cannot be opened.
    bool Open(const std::string& path);
    // One line; the format carries no line end.
    void Line(const char* format, ...) __attribute__((format(printf, 2, 3)));

  private:
    FILE* m_file = stdout;
};

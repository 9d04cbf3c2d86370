#include "tools/gauge-standin/GaugeLog.h"

#include <chrono>
#include <cstdarg>
#include <ctime>

namespace {

// Both C libraries have a thread-safe local time, under different names and argument orders; the
// stand-in is built for Linux and Windows.
tm LocalTime(std::time_t seconds) {
    tm local{};
#ifdef _WIN32
    ::localtime_s(&local, &seconds);
#else
    ::localtime_r(&seconds, &local);
#endif
    return local;
}

}  // namespace

GaugeLog::~GaugeLog() {
    if (m_file != stdout) std::fclose(m_file);
}

bool GaugeLog::Open(const std::string& path) {
    // Binary: the lines end in a bare line feed on Windows too, so one reader serves both logs.
    FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) return false;
    if (m_file != stdout) std::fclose(m_file);
    m_file = file;
    return true;
}

void GaugeLog::Line(const char* format, ...) {
    using std::chrono::system_clock;
    const system_clock::time_point now = system_clock::now();
    const tm local = LocalTime(system_clock::to_time_t(now));
    const auto millisecond =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    char text[1024];
    const int prefix = std::snprintf(text, sizeof text, "[%02d:%02d:%02d.%03d] ", local.tm_hour,
                                     local.tm_min, local.tm_sec, static_cast<int>(millisecond));
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + prefix, sizeof text - static_cast<size_t>(prefix), format, args);
    va_end(args);
    std::fprintf(m_file, "%s\n", text);
    std::fflush(m_file);
}

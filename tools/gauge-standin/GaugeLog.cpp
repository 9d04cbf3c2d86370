#include "tools/gauge-standin/GaugeLog.h"

#include <sys/time.h>

#include <cstdarg>
#include <ctime>

GaugeLog::~GaugeLog() {
    if (m_file != stdout) std::fclose(m_file);
}

bool GaugeLog::Open(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) return false;
    if (m_file != stdout) std::fclose(m_file);
    m_file = file;
    return true;
}

void GaugeLog::Line(const char* format, ...) {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char text[1024];
    const int prefix =
        std::snprintf(text, sizeof text, "[%02d:%02d:%02d.%03d] ", local.tm_hour, local.tm_min,
                      local.tm_sec, static_cast<int>(now.tv_usec / 1000));
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + prefix, sizeof text - static_cast<size_t>(prefix), format, args);
    va_end(args);
    std::fprintf(m_file, "%s\n", text);
    std::fflush(m_file);
}

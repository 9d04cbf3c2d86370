#include "log/Log.h"

#include <cstdarg>
#include <cstdio>

namespace logging {

namespace {

void WriteFormatted(LogStream& stream, bool withPrefix, const char* format, va_list args) {
    char buffer[kLogBufferSize];
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (length < 0) return;
    const size_t kept = length < kLogMessageMax ? static_cast<size_t>(length) : kLogMessageMax;
    // The text is written as formatted: a "%" inside a value is never read as a format again.
    stream.Write(withPrefix, std::string_view(buffer, kept));
}

}  // namespace

void LogLine(LogStream& stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteFormatted(stream, true, format, args);
    va_end(args);
}

void LogText(LogStream& stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteFormatted(stream, false, format, args);
    va_end(args);
}

void WriteLogTimestamp(LogStream& stream) {
    stream.Write(true, {});
}

}  // namespace logging

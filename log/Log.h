#pragma once
// The two log operations every subsystem uses. Messages carry their own line ends: a message
// without "\n" is continued on the same line by LogText pieces.

#include "log/LogStream.h"
#include "platform/PrintfFormat.h"

namespace logging {

// Size of the formatting buffer: longer messages are cut at kLogMessageMax characters.
inline constexpr int kLogBufferSize = 2524;
inline constexpr int kLogMessageMax = kLogBufferSize - 1;

// Timestamp prefix, then the formatted message, as one piece. Does nothing while the log is off.
void LogLine(LogStream& stream, const char* format, ...) TX_PRINTF_FORMAT(2, 3);
// The formatted message alone, continuing the current line.
void LogText(LogStream& stream, const char* format, ...) TX_PRINTF_FORMAT(2, 3);
// The timestamp prefix alone.
void WriteLogTimestamp(LogStream& stream);

}  // namespace logging

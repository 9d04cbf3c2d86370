#include "log/LogStream.h"

#include "platform/FileAccess.h"

namespace logging {

LogStream LogFile;

LogStream::~LogStream() {
    Close();
}

bool LogStream::Open(const std::string& path) {
    FILE* file = platform::OpenFile(path, "wt");
    platform::MutexLock lock(m_mutex);
    if (m_file != nullptr) std::fclose(m_file);
    m_file = file;
    return m_file != nullptr;
}

void LogStream::Close() {
    platform::MutexLock lock(m_mutex);
    if (m_file != nullptr) std::fclose(m_file);
    m_file = nullptr;
}

bool LogStream::IsOpen() {
    platform::MutexLock lock(m_mutex);
    return m_file != nullptr;
}

void LogStream::SetClock(Clock clock) {
    platform::MutexLock lock(m_mutex);
    m_clock = std::move(clock);
}

void LogStream::Write(bool withPrefix, std::string_view text) {
    platform::MutexLock lock(m_mutex);
    if (m_file == nullptr) return;
    std::string piece;
    if (withPrefix) piece = FormatPrefix(m_clock ? m_clock() : SystemNow());
    piece.append(text);
    // Write errors (a full disk, say) are ignored: the log never stops the program.
    std::fwrite(piece.data(), 1, piece.size(), m_file);
    std::fflush(m_file);
}

std::string LogStream::FormatPrefix(const LocalTimestamp& when) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix,
                  "[%02u/%02u/%02u %02u:%02u:%02u:%03u]: ", static_cast<unsigned>(when.day),
                  static_cast<unsigned>(when.month), static_cast<unsigned>(when.year),
                  static_cast<unsigned>(when.hour), static_cast<unsigned>(when.minute),
                  static_cast<unsigned>(when.second), static_cast<unsigned>(when.millisecond));
    return prefix;
}

LocalTimestamp LogStream::SystemNow() {
    return platform::LocalNow();
}

}  // namespace logging

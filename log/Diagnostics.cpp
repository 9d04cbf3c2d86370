#include "log/Diagnostics.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "log/Log.h"
#include "platform/CalendarTime.h"
#include "platform/ModuleFile.h"

namespace logging {

platform::Result<std::string> FormatFileDateTime(int mode, const std::string& path) {
    if (mode != 1 && mode != 2)
        return {platform::Status(platform::ErrorKind::kFailed, 0, "no such mode")};
    const platform::Result<std::time_t> written = platform::FileWriteTime(path);
    if (!written.IsOk()) return {written.status};
    const platform::Result<std::tm> local = platform::ToLocalTime(written.value);
    if (!local.IsOk()) return {local.status};
    const std::tm& t = local.value;
    if (mode == 1) {
        char text[64];
        std::snprintf(text, sizeof text, "%02d/%02d/%d %02d:%02d:%02d", t.tm_mday, t.tm_mon + 1,
                      t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
        return {platform::Status(), text};
    }
    std::string text = platform::AsctimeText(t);
    if (text.empty()) return {platform::Status(platform::ErrorKind::kFailed, 0, "no ctime text")};
    // ctime's text is 24 characters and a line feed.
    if (text.size() > 25) text.resize(25);
    if (text.back() == '\n') text.pop_back();
    return {platform::Status(), text};
}

std::string GetFileVersionText(const std::string& path) {
    return platform::FileVersionText(path);
}

std::string OwnExecutablePath() {
    return platform::ExecutablePath();
}

void LogModuleVersion(LogStream& stream, const void* module, int dateMode, bool fixedVersion) {
    std::string version = "N/A";
    std::string path;

    LogLine(stream, "Dataflags: %d, %d, size=0x%08lx.\n", dateMode, fixedVersion ? 1 : 0,
            static_cast<unsigned long>(reinterpret_cast<uintptr_t>(module)));

    if (fixedVersion) {
        path = OwnExecutablePath();
        version = GetFileVersionText(path);
    } else if (module != nullptr) {
        path = platform::ModulePath(module);
        if (path.empty() || path.size() > 260) path = OwnExecutablePath();
        // A module without version information (any but our own executable, on Linux) keeps
        // "N/A".
        const std::string text = GetFileVersionText(path);
        if (!text.empty()) version = text;
    } else {
        LogLine(stream, "Error: Bad hModuleInstance.\n");
        return;
    }

    const platform::Result<std::string> date = FormatFileDateTime(dateMode, path);
    LogLine(stream, "Module version: %s. Date/time: %s.\n", version.c_str(),
            date.IsOk() ? date.value.c_str() : "N/A");
}

}  // namespace logging

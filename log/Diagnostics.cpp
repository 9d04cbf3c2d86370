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

bool FormatFileDateTime(int mode, const std::string& path, char* out, size_t outSize) {
    if (out == nullptr || outSize == 0) return false;
    std::time_t written = 0;
    if ((mode != 1 && mode != 2) || !platform::FileWriteTime(path, written)) return false;
    std::tm local{};
    if (!platform::ToLocalTime(written, local)) return false;
    if (mode == 1) {
        std::snprintf(out, outSize, "%02d/%02d/%d %02d:%02d:%02d", local.tm_mday, local.tm_mon + 1,
                      local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
        return true;
    }
    const std::string text = platform::AsctimeText(local);
    if (text.empty()) return false;
    // ctime's text is 24 characters and a line feed; it is copied within the 26-byte limit.
    const size_t limit = outSize < 26 ? outSize : 26;
    const size_t length = std::min(text.size(), limit - 1);
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
    if (length > 0 && out[length - 1] == '\n') out[length - 1] = '\0';
    return true;
}

std::string GetFileVersionText(const std::string& path) {
    return platform::FileVersionText(path);
}

std::string OwnExecutablePath() {
    return platform::ExecutablePath();
}

void LogModuleVersion(LogStream& stream, const void* module, int dateMode, bool fixedVersion) {
    std::string version = "N/A";
    char date[64] = "N/A";
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

    FormatFileDateTime(dateMode, path, date, sizeof date);
    LogLine(stream, "Module version: %s. Date/time: %s.\n", version.c_str(), date);
}

}  // namespace logging

#include "log/Diagnostics.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "log/Log.h"

namespace {

bool IsOwnExecutable(const std::string& path) {
    struct stat own {};
    struct stat other {};
    if (path.empty() || ::stat("/proc/self/exe", &own) != 0 || ::stat(path.c_str(), &other) != 0)
        return false;
    return own.st_dev == other.st_dev && own.st_ino == other.st_ino;
}

}  // namespace

bool FormatFileDateTime(int mode, const std::string& path, char* out, size_t outSize) {
    if (out == nullptr || outSize == 0) return false;
    struct stat info {};
    if ((mode != 1 && mode != 2) || ::stat(path.c_str(), &info) != 0) return false;
    const time_t written = info.st_mtim.tv_sec;
    if (mode == 1) {
        tm local{};
        if (localtime_r(&written, &local) == nullptr) return false;
        std::snprintf(out, outSize, "%02d/%02d/%d %02d:%02d:%02d", local.tm_mday, local.tm_mon + 1,
                      local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
        return true;
    }
    char text[64];
    if (ctime_r(&written, text) == nullptr) return false;
    // ctime's text is 24 characters and a line feed; it is copied within the 26-byte limit.
    const size_t limit = outSize < 26 ? outSize : 26;
    const size_t length = std::min(std::strlen(text), limit - 1);
    std::memcpy(out, text, length);
    out[length] = '\0';
    if (length > 0 && out[length - 1] == '\n') out[length - 1] = '\0';
    return true;
}

std::string GetFileVersionText(const std::string& path) {
    if (!IsOwnExecutable(path)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", TX_VERSION_MAJOR, TX_VERSION_MINOR,
                  TX_VERSION_PATCH, TX_VERSION_TWEAK);
    return text;
}

std::string OwnExecutablePath() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    return std::string(path, static_cast<size_t>(length));
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
        Dl_info info{};
        if (::dladdr(module, &info) != 0 && info.dli_fname != nullptr) path = info.dli_fname;
        if (path.empty() || path.size() > 260) path = OwnExecutablePath();
        // Only our own executable carries a product version; other modules keep "N/A".
        if (IsOwnExecutable(path)) version = TX_VERSION_TEXT;
    } else {
        LogLine(stream, "Error: Bad hModuleInstance.\n");
        return;
    }

    FormatFileDateTime(dateMode, path, date, sizeof date);
    LogLine(stream, "Module version: %s. Date/time: %s.\n", version.c_str(), date);
}

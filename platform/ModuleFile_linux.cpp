// The program's files as Linux describes them.

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/ModuleFile.h"
#include "platform/PosixError.h"

namespace platform {
namespace {

// The same file as the running executable, compared by device and inode, so that any link or
// other path to it counts.
bool IsOwnExecutable(const std::string& path) {
    struct stat own {};
    struct stat other {};
    if (path.empty() || ::stat("/proc/self/exe", &own) != 0 || ::stat(path.c_str(), &other) != 0)
        return false;
    return own.st_dev == other.st_dev && own.st_ino == other.st_ino;
}

}  // namespace

std::string ExecutablePath() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    return std::string(path, static_cast<size_t>(length));
}

std::string ModulePath(const void* address) {
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
    return info.dli_fname;
}

std::string FileVersionText(const std::string& path) {
    if (!IsOwnExecutable(path)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", TX_VERSION_MAJOR, TX_VERSION_MINOR,
                  TX_VERSION_PATCH, TX_VERSION_TWEAK);
    return text;
}

Result<std::time_t> FileWriteTime(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {PosixError(errno)};
    return {Status(), info.st_mtim.tv_sec};
}

}  // namespace platform

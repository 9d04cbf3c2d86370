#include "web/ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "log/Log.h"
#include "web/HttpRequest.h"

namespace {

// The name as it may go into the log: control bytes shown as \xNN, long names cut.
std::string PrintableName(const std::string& name) {
    constexpr size_t kShown = 300;
    std::string shown;
    for (size_t i = 0; i < name.size() && i < kShown; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        } else {
            shown += static_cast<char>(c);
        }
    }
    if (name.size() > kShown) shown += "...";
    return shown;
}

void LogOpenFailure(const std::string& fullName, int error) {
    LogLine(LogFile, "Failed to open image file: %s, error 0x%08lx.\n", fullName.c_str(),
            static_cast<unsigned long>(error));
}

// Reads the whole regular file `fullName` into `body`. Opened read-only and without blocking, so
// neither a read-only picture nor a FIFO that happens to carry an image name can stop the
// server; anything but a plain file counts as a failed open.
void ReadImageFile(const std::string& fullName, std::string& body) {
    const int fd = ::open(fullName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        LogOpenFailure(fullName, errno);
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        LogOpenFailure(fullName, error);
        return;
    }
    std::string bytes(static_cast<size_t>(info.st_size), '\0');
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            LogLine(LogFile, "Failed to read image file: %s, error 0x%08lx.\n", fullName.c_str(),
                    static_cast<unsigned long>(errno));
            ::close(fd);
            return;
        }
        if (n == 0) break;  // the file shrank while being read: what was there is the picture
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    body = std::move(bytes);
}

}  // namespace

std::string ImageFileName(const std::string& path, const std::string& settingsFolder,
                          std::string& refusal) {
    refusal.clear();
    const std::string name = path.empty() ? std::string() : path.substr(1);
    const bool png = path.find(".png") != std::string::npos;
    if (name.size() > kImageNameMax ||
        (png && settingsFolder.size() + name.size() > kImagePathMax)) {
        refusal = "too long";
    } else if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
        refusal = "holds a path separator";
    } else if (name.find("..") != std::string::npos) {
        refusal = "holds \"..\"";
    } else if (name.empty()) {
        refusal = "is empty";
    } else if (name[0] == '.') {
        refusal = "begins with a dot";
    } else {
        for (const char c : name) {
            const unsigned char byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7f) {
                // A zero byte would end the name early and open a file of another type.
                refusal = "holds a control byte";
                break;
            }
        }
    }
    if (!refusal.empty()) return {};
    return png ? settingsFolder + name : name;
}

bool ServeImageFile(HttpRequest& request, const std::string& settingsFolder) {
    std::string refusal;
    const std::string fullName = ImageFileName(request.path, settingsFolder, refusal);
    if (fullName.empty()) {
        LogLine(LogFile, "Refused image file name %s: %s.\n",
                PrintableName(request.path.empty() ? request.path : request.path.substr(1)).c_str(),
                refusal.c_str());
        return false;
    }
    ReadImageFile(fullName, request.body);
    return true;
}

#include "web/ImageFile.h"

#include <cstdio>

#include "log/Log.h"
#include "platform/Paths.h"
#include "platform/RegularFile.h"
#include "web/HttpRequest.h"

using logging::LogFile;
using logging::LogLine;

namespace web {

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

// The server never writes a picture, so it opens read-only ones too; and a FIFO or device that
// carries an image name must not hold the one server thread: only regular files are served.
// A picture of the pages themselves (a name without a folder) that the working folder lacks is
// read from beside the program, as a start from a shortcut or another folder has a working folder
// of its own; what is logged stays the working folder's name and failure.
void ReadImageFile(const std::string& fullName, bool besideProgramToo, std::string& body) {
    platform::Result<std::string> read = platform::ReadRegularFile(fullName);
    const bool cannotOpen = read.status.Kind() == platform::ErrorKind::kCannotOpen;
    if (cannotOpen && besideProgramToo) {
        const std::string programFolder = platform::ExecutableFolder();
        if (!programFolder.empty()) {
            platform::Result<std::string> beside =
                platform::ReadRegularFile(programFolder + "/" + fullName);
            if (beside.IsOk()) read = std::move(beside);
        }
    }
    if (read.IsOk()) {
        body = std::move(read.value);
    } else if (cannotOpen) {
        LogLine(LogFile, "Failed to open image file: %s, error 0x%08lx.\n", fullName.c_str(),
                static_cast<unsigned long>(read.status.Code()));
    } else {
        LogLine(LogFile, "Failed to read image file: %s, error 0x%08lx.\n", fullName.c_str(),
                static_cast<unsigned long>(read.status.Code()));
    }
}

// The gauge's pictures (".png") live in the settings folder, the pages' own in the working folder.
bool InSettingsFolder(const std::string& path) {
    return path.find(".png") != std::string::npos;
}

}  // namespace

std::string ImageFileName(const std::string& path, const std::string& settingsFolder,
                          std::string& refusal) {
    refusal.clear();
    const std::string name = path.empty() ? std::string() : path.substr(1);
    const bool png = InSettingsFolder(path);
    if (name.size() > kImageNameMax ||
        (png && settingsFolder.size() + name.size() > kImagePathMax)) {
        refusal = "too long";
    } else if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
        refusal = "holds a path separator";
    } else if (name.find(':') != std::string::npos) {
        // On Windows "D:name" is a file in drive D's current folder, and "name:x" a stream of
        // the file; the same names are refused on Linux, so both builds serve the same ones.
        refusal = "holds a colon";
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
    ReadImageFile(fullName, !InSettingsFolder(request.path), request.body);
    return true;
}

}  // namespace web

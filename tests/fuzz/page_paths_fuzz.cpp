// Paths as the page handler reads them: the key code at the end of a key path, and the file
// name an image path may open, which must never leave its folder.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/fuzz/FuzzSupport.h"
#include "web/ImageFile.h"
#include "web/McduPages.h"

using web::ImageFileName;
using web::kImageNameMax;
using web::McduKeyCodeFromPath;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& settings = txfuzz::PrepareSandbox();
    const std::string path(reinterpret_cast<const char*>(data), size);

    // Two characters read as a number hold at most "99" or "-9".
    const int code = McduKeyCodeFromPath(path);
    if (code < -9 || code > 99) std::abort();

    std::string refusal;
    const std::string name = ImageFileName(path, settings, refusal);
    if (name.empty() == refusal.empty()) std::abort();  // exactly one of the two
    if (!name.empty()) {
        const bool png = path.find(".png") != std::string::npos;
        std::string own = name;
        if (png) {
            if (name.compare(0, settings.size(), settings) != 0) std::abort();
            own = name.substr(settings.size());
        }
        if (own.empty() || own[0] == '.' || own.find('/') != std::string::npos ||
            own.find('\\') != std::string::npos || own.find(':') != std::string::npos ||
            own.find("..") != std::string::npos || own.find('\0') != std::string::npos ||
            own.size() > kImageNameMax)
            std::abort();
    }
    return 0;
}

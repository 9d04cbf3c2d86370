#include <windows.h>
// The shell's declarations need windows.h's types first.
#include <shellapi.h>

#include "platform/BrowserLauncher.h"

namespace platform {

bool OpenUrlInBrowser(const std::string& url) {
    // The shell's "open" verb starts the user's default browser on its own; values above 32 mean
    // it was started.
    const HINSTANCE result =
        ::ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace platform

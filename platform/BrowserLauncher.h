#pragma once
// Opens a URL in the user's browser: the program named by $BROWSER, else xdg-open, started
// detached so that it outlives neither blocks this program.

#include <string>

namespace platform {

// True when the launcher process was started.
bool OpenUrlInBrowser(const std::string& url);

}  // namespace platform

#pragma once
// Opens a URL in the user's browser: on Linux the program named by $BROWSER, else xdg-open, started
// detached so that it outlives neither blocks this program; on Windows the shell's "open" verb.

#include <string>

namespace platform {

// True when the launcher process (on Windows: the shell's verb) was started.
bool OpenUrlInBrowser(const std::string& url);

}  // namespace platform

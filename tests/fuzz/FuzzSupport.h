#pragma once
// What the fuzz targets share: a private settings and runtime folder made once per process, so
// that nothing a target does reaches the user's own files or a real gauge.

#include <string>

namespace txfuzz {

// Creates (once) a folder under /tmp with a settings folder holding a small PNG file, points
// HOME and XDG_RUNTIME_DIR into it and opens the log on /dev/null, so that every log line is
// still formatted. Returns the settings folder with its trailing slash.
const std::string& PrepareSandbox();

}  // namespace txfuzz

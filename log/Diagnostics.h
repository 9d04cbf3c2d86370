#pragma once
// The start-up diagnostic: which program build is running, and when its file was written.

#include <cstddef>
#include <string>

#include "log/LogStream.h"

namespace logging {

// Writes the last-write time of `path` into `out` (room for `outSize` bytes, at least 26).
// Mode 1: "dd/mm/yyyy hh:mm:ss" in local time. Mode 2: the ctime() text without its line feed.
// False, and `out` untouched, for another mode or a file that cannot be examined.
bool FormatFileDateTime(int mode, const std::string& path, char* out, size_t outSize);

// "major.minor.build.revision" of a file that carries version information, else empty text. The
// program's own executable carries the version it was built with; other files carry none.
std::string GetFileVersionText(const std::string& path);

// The full path of the running program's executable.
std::string OwnExecutablePath();

// The "Dataflags" and "Module version" lines. `module` is any address inside a loaded module (or
// null); with `fixedVersion` set, the program's own executable is reported.
void LogModuleVersion(LogStream& stream, const void* module, int dateMode, bool fixedVersion);

}  // namespace logging

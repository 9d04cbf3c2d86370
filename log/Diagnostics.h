#pragma once
// The start-up diagnostic: which program build is running, and when its file was written.

#include <string>

#include "log/LogStream.h"
#include "platform/Status.h"

namespace logging {

// The last-write time of `path`. Mode 1: "dd/mm/yyyy hh:mm:ss" in local time. Mode 2: the ctime()
// text without its line feed. A failure for another mode or a file that cannot be examined.
platform::Result<std::string> FormatFileDateTime(int mode, const std::string& path);

// "major.minor.build.revision" of a file that carries version information, else empty text. The
// program's own executable carries the version it was built with; other files carry none.
std::string GetFileVersionText(const std::string& path);

// The full path of the running program's executable.
std::string OwnExecutablePath();

// The "Dataflags" and "Module version" lines. `module` is any address inside a loaded module (or
// null); with `fixedVersion` set, the program's own executable is reported.
void LogModuleVersion(LogStream& stream, const void* module, int dateMode, bool fixedVersion);

}  // namespace logging

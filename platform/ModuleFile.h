#pragma once
// What the start-up diagnostic asks the system about the program's files: where the running
// executable and the module holding an address are, the version a file carries and when it was
// last written. Linux answers from /proc/self/exe, dladdr and stat (ModuleFile_linux.cpp);
// Windows from GetModuleFileName, GetModuleHandleEx, GetFileVersionInfo with VerQueryValue, and
// the file's last-write time.

#include <ctime>
#include <string>

#include "platform/Status.h"

namespace platform {

// The full path of the running program's executable; empty when the system does not tell.
std::string ExecutablePath();

// The file of the loaded module (the executable or a shared library) that holds `address`; empty
// when no module holds it.
std::string ModulePath(const void* address);

// "major.minor.build.revision" of a file that carries version information, else empty text. On
// Linux only the program's own executable does (whatever name it is reached by): it carries the
// version it was built with.
std::string FileVersionText(const std::string& path);

// When the file was last written; the system's failure when it cannot be examined.
Result<std::time_t> FileWriteTime(const std::string& path);

}  // namespace platform

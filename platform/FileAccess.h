#pragma once
// Files named by the program's UTF-8 paths: the log, the INI file's presence and SimConnect.cfg.
// Linux hands the bytes to fopen and stat (FileAccess_posix.cpp); Windows converts them to UTF-16
// for _wfopen and GetFileAttributesW (FileAccess_win32.cpp), so that a documents folder outside
// the ANSI code page is found.

#include <cstdio>
#include <string>

namespace platform {

// fopen's modes ("wt", "rb", ...); null when the file cannot be opened.
std::FILE* OpenFile(const std::string& path, const char* mode);

// Whether anything (a file or a folder) exists under `path`.
bool FileExists(const std::string& path);

}  // namespace platform

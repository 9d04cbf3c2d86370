#pragma once
// <windows.h> for Windows sources that also see the program's own headers, among them every file
// that includes the simulator library's header (simconnect/WindowsTypes.h). Its ANSI/wide
// switches are macros (FindResource is FindResourceA, GetPrivateProfileInt is
// GetPrivateProfileIntA); two of them share a name with a function of ours, and would rename it
// in some files and not in others. They are undone here, the one place: the system's functions
// are called by their full names. A new function of ours named like a Windows call joins this
// list, or better takes another name.
//
// Windows builds only (CMake sets WIN32_LEAN_AND_MEAN and NOMINMAX for them). Preprocessor lines
// only, so no namespace: the system's names are global.

#include <windows.h>

#undef FindResource          // res::FindResource (res/Resources.h)
#undef GetPrivateProfileInt  // platform::GetPrivateProfileInt (platform/ProfileReader.h)

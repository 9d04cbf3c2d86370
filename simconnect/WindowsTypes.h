#pragma once
// The Windows types and result codes the client library's interface is written in (HANDLE, DWORD,
// HRESULT, HWND, LPCSTR, BOOL, S_OK, S_FALSE, E_FAIL, E_INVALIDARG, E_PENDING, MAX_PATH). On
// Windows they are the system's own, so the library's header and <windows.h> can meet in one
// file; elsewhere the library defines them, with the same sizes and values. On Windows DWORD is
// an unsigned long and HRESULT a long, so values of them are cast to unsigned or int for %u or %d.
// Global, as Windows' own names are: code written against either finds them under the same name.

#if defined(_WIN32)

// With the macros that would rename functions of ours undone.
#include "platform/WindowsHeader_win32.h"

#else

#include <cstdint>

using HANDLE = void*;
using HRESULT = int32_t;
using DWORD = uint32_t;
using HWND = void*;
using LPCSTR = const char*;
using BOOL = int;

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_PENDING = static_cast<HRESULT>(0x8000000Au);

#endif

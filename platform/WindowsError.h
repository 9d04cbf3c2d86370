#pragma once
// Makes a Status of a GetLastError() or WSAGetLastError() value; for the Windows files of
// platform/ only (Status_win32.cpp).

#include "platform/Status.h"

namespace platform {

// WSAEINTR is kInterrupted, WSAEWOULDBLOCK kWouldBlock, anything else kFailed: the callers that
// act on more sort the numbers they know themselves.
Status WindowsError(unsigned long error);

}  // namespace platform

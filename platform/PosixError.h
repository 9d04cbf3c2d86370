#pragma once
// Makes a Status of an errno value; for the POSIX files of platform/ only (Status_posix.cpp).

#include "platform/Status.h"

namespace platform {

// EINTR is kInterrupted, EAGAIN (EWOULDBLOCK) kWouldBlock, anything else kFailed: the callers
// that act on more sort the numbers they know themselves.
Status PosixError(int error);

}  // namespace platform

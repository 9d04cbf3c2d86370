#pragma once
// Time to serve and time to stop: from the program's start to its first complete answer to "/"
// (offline page), and from SIGTERM to its exit, offline, online, and serving (a request whose head
// is not finished is open when the signal comes). nginx in the same rounds, from its start to its
// first answer and from SIGTERM to its exit, idle.

#include "bench/Report.h"

namespace txbench {

void StartStop(int rounds, Report& report);

}  // namespace txbench

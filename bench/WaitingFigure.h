#pragma once
// A plain request beside waiting connections: "/" timed from the connect to the answer's last
// byte while a WaitingCrowd is open to the same server; nginx gets the same crowd in alternate
// rounds.

#include "bench/Report.h"

namespace txbench {

// `rounds` rounds of `requests` requests per server.
void BesideWaiting(int requests, int rounds, Report& report);

}  // namespace txbench

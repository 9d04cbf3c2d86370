#pragma once
// What the program costs doing nothing: its CPU time (utime + stime from /proc) over a window, as
// a share of one processor, offline (no simulator) and online (the stand-in sending flight data
// every second, no requests).

#include <chrono>

#include "bench/Report.h"

namespace txbench {

void IdleCost(std::chrono::seconds window, Report& report);

}  // namespace txbench

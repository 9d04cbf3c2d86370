#pragma once
// What the bench watches of a child process besides what the tests' ChildProcess gives: its exit,
// seen within a tenth of a millisecond (the time to exit is a figure, where the tests' wait looks
// every few milliseconds), and what it costs while it runs, read from /proc.

#include <chrono>
#include <string>

#include "tests/support/TestSupport.h"

namespace txbench {

// Waits for the exit, looking every 100 microseconds; false when it did not come within `timeout`.
bool WaitForExit(txtest::ChildProcess& process, std::chrono::milliseconds timeout);

// utime + stime of the process so far, in clock ticks; -1 when it cannot be read.
long long CpuTicks(int pid);
// The clock ticks in a second.
long TicksPerSecond();
// A "VmXxx:" line of /proc/<pid>/status (VmHWM, VmRSS), in kB; -1 when it is missing.
long StatusKb(int pid, const std::string& key);

}  // namespace txbench

#pragma once
// The least a Windows program does per key (winfloor.exe: blocking accept, receive, a plain pipe
// write), timed on the same gauge end and clock as the program's presses: what is left of a key
// press there is Wine's. Under Wine a key press cannot be quicker than Wine lets the least program
// be, so the goal here is the program's p99 within twice winfloor.exe's, measured in the same run;
// the 1 ms goal is a real Windows PC's.

#include "bench/Report.h"
#include "bench/Stats.h"
#include "bench/TimedGauge.h"
#include "bench/WindowsRun.h"

namespace txbench {

// Runs once the program has ended, so that winfloor.exe can take the gauge's pipe; `program` is
// the program's key figures and `programFailures` its failed presses, for the goal's row.
void AddWindowsFloorRows(const WindowsRun& run, TimedGauge& gauge, int presses, int rounds,
                         const Spread& program, int programFailures, Report& report);

}  // namespace txbench

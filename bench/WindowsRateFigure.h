#pragma once
// The Windows build's sequential request rates, Windows and Linux batches alternating, for the
// status page, the MCDU page and the 20 KB picture.

#include "bench/Report.h"
#include "bench/TimedGauge.h"

namespace txbench {

// Five batches of `perBatch` per program and path; the gauge ends are drained between batches.
void AddWindowsRateRows(int windowsPort, TimedGauge& gauge, int linuxPort, TimedGauge& linuxGauge,
                        int perBatch, Report& report);

}  // namespace txbench

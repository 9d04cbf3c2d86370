#pragma once
// The Windows build under Wine, in a table of its own: its start, key presses, request rates and
// the least program's key press, each beside the Linux program run in the same rounds, so that
// every figure has its Linux counterpart taken on the same machine at the same time. The gauge's
// end is bench/wingauge.exe, the simulator's window simwindow-standin.exe, the simulator the Linux
// sim-standin on TCP.

#include "bench/Options.h"
#include "bench/Report.h"

namespace txbench {

struct WindowsSizes {
    int presses;      // per round, for the key figures
    int rounds;       // of key presses
    int perBatch;     // requests per rate batch
    int startRounds;  // fresh starts
};

void WindowsBuild(const Options& options, const WindowsSizes& sizes, Report& report);

}  // namespace txbench
